#pragma once

#include "history/CallEvent.h"
#include "history/HistoryDatabase.h"
#include "history/TableSession.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QSqlQuery;

/// How many of one day's calls wait for someone: those nobody has done anything with, and
/// those with a message still open for one person.
struct CallCounts
{
    int open = 0;
    int messages = 0;

    bool operator==(const CallCounts&) const = default;
};

/// The events of the history's calls in its database (a file, or a postgresql:// URI), read
/// and written on the calling thread; one instance per thread. A PostgreSQL connection can
/// also listen for the events every desk writes.
class CallEventStore
{
public:
    explicit CallEventStore(QString target);

    const QString& target() const { return m_session.target(); }
    bool onServer() const { return m_session.onServer(); }
    bool connect() { return m_session.connect(); }
    void disconnect() { m_session.disconnect(); }
    bool isConnected() const { return m_session.isConnected(); }
    /// After a failed `connect`: the database was reached and has no events table.
    bool missing() const { return m_session.missing(); }
    bool ping() { return m_session.ping(); }
    /// On a server: calls `announced` with the key of each event any desk writes.
    bool listen(std::function<void(qint64 id)> announced);

    /// How an event was written: its key, or for a claim of a call that someone had claimed
    /// already, key 0 and who that is.
    struct Added
    {
        qint64 id = 0;
        QString claimer{};
    };
    /// Writes `event` (its key ignored, its time now unless set).
    std::optional<Added> add(const CallEvent& event);
    /// The events with these keys, and those above `id` (at most `limit`), oldest first, each
    /// with its call's number and date.
    std::optional<std::vector<CallEvent>> events(const std::vector<qint64>& ids);
    std::optional<std::vector<CallEvent>> eventsAbove(qint64 id, int limit);
    std::optional<qint64> newest();
    /// The key of the newest row of this number and date text; 0 while there is none.
    std::optional<qint64> callKey(const QString& number, const QString& calldate);
    /// The counts of the day's calls, the messages for `person`.
    std::optional<CallCounts> counts(const QDate& day, const QString& person);
    /// Notes `person` as seen at a desk now.
    bool seen(const QString& person);
    /// The people seen at the office's desks, most recently seen first.
    std::optional<QStringList> people();

    const QString& lastError() const { return m_session.lastError(); }

private:
    std::optional<std::vector<CallEvent>> read(const QString& statement, const QVariantList& values);

    TableSession m_session;
    HistoryDatabase::Reading m_history;
};

/// An event from a row of `CallEventDatabase`'s statements; with `withCall`, the row goes on
/// with the call's number and date text.
CallEvent eventFromRow(const QSqlQuery& query, bool withCall);
/// The events of `callIds`, read with `query` on its connection and grouped by call, oldest
/// first; false when the read failed (`query` says why).
bool readEventsOfCalls(QSqlQuery& query, bool onServer, const std::vector<qint64>& callIds,
                       QHash<qint64, std::vector<CallEvent>>& events);
