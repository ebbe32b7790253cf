#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

/// The channel on which a PostgreSQL history announces each call's row when its insert
/// commits.
inline constexpr char kCallChannel[] = "chakushin_calls";

/// The longest number an announcement carries. A notification's payload is limited (8000
/// bytes), and an insert whose announcement does not fit would fail with it.
inline constexpr int kAnnouncedNumberLength = 256;

/// One call as the history announced it, or as a following desk read it afterwards.
struct AnnouncedCall
{
    qint64 id = 0;
    QString number;
    /// Local date and time of the call, as the row holds it.
    QDateTime calldate;
    /// Written well after the call (kept while the history could not be reached): too late
    /// to open the caller's page for.
    bool late = false;

    bool operator==(const AnnouncedCall&) const = default;
};

/// What makes the table "history" announce its rows: a function and an AFTER INSERT trigger
/// calling it. `--create-history-db` runs them with the table; an existing table gets them by
/// the same statements through psql.
QStringList callAnnouncementStatements();

/// The setting a writer turns on in the transaction of a row it writes late; the
/// announcement carries it.
inline constexpr char kLateCallSetting[] = "chakushin.late_call";

/// A payload of the channel: a JSON object with "id", "number", "calldate"
/// ("YYYY-MM-DD HH:MM:SS") and "late". Nothing for anything else.
std::optional<AnnouncedCall> parseCallAnnouncement(const QByteArray& payload);
