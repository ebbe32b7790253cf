#pragma once

#include "history/HistoryDatabase.h"

#include <QString>
#include <QStringList>

/// The events table "call_events" and the people table "desk_people" in the history's
/// database, in one place: the statements that make and use them. Every other file goes
/// through these; none spells a column.
///
/// An event is one row, never changed: the key of the call's history row, the kind
/// ("claim", "message", "calledback", "done"), who, and for a message its recipient, text
/// and call-back wish, with the local date and time it was written. A unique index on the
/// claims of a call lets one person take it and no other, whoever asks first on whichever
/// desk. The people table holds the name of each person seen at a desk, for the message
/// dialog's choice.
namespace CallEventDatabase {

/// The channel on which a PostgreSQL history announces each event when its insert commits: the
/// payload is the event's key.
inline constexpr char kChannel[] = "chakushin_events";
/// The longest message text kept.
inline constexpr int kMaxText = 2000;

/// The tables, their indexes, and on PostgreSQL what announces the events.
QStringList createStatements(bool onServer);
/// What makes a PostgreSQL table announce its events on `kChannel`.
QStringList announcementStatements();
/// Whether the events table is there: one row when it is.
QString existsStatement(bool onServer);

/// Binds the call's key, kind, person, recipient, text, call-back wish and date text; a claim
/// of a call someone has claimed already adds nothing (no row changed, or on the server no key
/// returned). On the server it returns the new key.
QString insertStatement(bool onServer);
/// The key of the newest history row of the bound number and date text: one row, or none
/// while the call's row is not written.
QString callKeyStatement(const HistoryDatabase::Reading& history);
/// Who has claimed the bound call: one row (person), or none.
QString claimerStatement();

/// The columns of an event as read for a desk: (id, call_id, kind, person, recipient, body,
/// callback, date text, the call's number, the call's date text).
/// The events with the bound keys (`count` of them), oldest first.
QString eventsStatement(const HistoryDatabase::Reading& history, int count);
/// The events with a key above the bound one, oldest first, at most `limit`.
QString eventsAboveStatement(const HistoryDatabase::Reading& history, int limit);
/// The highest event key; 0 without any.
QString newestStatement();
/// The events of the bound calls (`count` of them), oldest first, as `eventsStatement` reads
/// them but without the call's number and date.
QString eventsOfCallsStatement(bool onServer, int count);

/// The calls between the two bound date texts (from included, to excluded) that nobody has
/// done anything with yet: one row, the count.
QString openCountStatement(const HistoryDatabase::Reading& history);
/// The calls between the two bound date texts with a message still open for the person bound
/// first: one row, the count.
QString messageCountStatement(const HistoryDatabase::Reading& history);

/// Conditions on history rows for a reader, with '?' for their bound values: nobody has done
/// anything with the call; a message is open for the bound person; a message's text or a
/// person named in an event contains the bound text (bound three times).
QString callIsOpen(const HistoryDatabase::Reading& history);
QString messageOpenFor(const HistoryDatabase::Reading& history);
QString eventContains(const HistoryDatabase::Reading& history);

/// Notes the bound person as seen at a desk now (person, date text).
QString personSeenStatement();
/// The people seen, most recently seen first.
QString peopleStatement();

} // namespace CallEventDatabase
