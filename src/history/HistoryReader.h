#pragma once

#include "history/CallEvent.h"
#include "history/HistoryDatabase.h"
#include "history/HistoryFilter.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QSqlDatabase;

/// One call as the history holds it.
struct HistoryEntry
{
    /// The row's key: SQLite's rowid, PostgreSQL's "id".
    qint64 id = 0;
    QString number;
    /// "YYYY-MM-DD HH:MM:SS", local time, as written.
    QString calldate;
    /// The date and time as the database orders them: `calldate`, or on the server with any
    /// fraction of a second another program wrote.
    QString orderedAt{};
    /// How many calls the number has made in all, whatever the filter.
    qint64 calls = 0;
    /// The caller's name as the phone book had it at the time of the call; null when it had
    /// none, or the table keeps no names.
    QString name{};
    /// What people did with the call, oldest first (without the call's number and date); none
    /// when the database has no events table.
    std::vector<CallEvent> events{};

    bool operator==(const HistoryEntry&) const = default;
};

/// Whether `a` comes before `b` in the history's order: the newer call first, then the
/// higher key.
bool comesBefore(const HistoryEntry& a, const HistoryEntry& b);

/// Rows in the history's order, newest call first (by date and time, then by key).
struct HistoryPage
{
    std::vector<HistoryEntry> rows;
    /// More rows match after the last one.
    bool more = false;
};

/// Reads the call history named like `path3` (an SQLite file or a postgresql:// URI) and
/// never changes it: the file is opened read-only for each read, the server session is
/// read-only and kept. Reads
/// in pages, so that no query holds a whole table; each statement is finished before the
/// call returns, so a reader never holds up the program's own writes. Belongs to the thread
/// that made it. When a read fails, `lastError()` says why and the next read connects anew.
/// Every row read comes with its call's events, read with one more statement per page.
class HistoryReader
{
public:
    static constexpr int kPageSize = 100;

    explicit HistoryReader(QString target);
    ~HistoryReader();

    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    /// The rows matching `filter` that come after `after` in the history's order (from the
    /// newest when it is null), at most `limit`, each with its number's count.
    std::optional<HistoryPage> page(const HistoryFilter& filter, const HistoryEntry* after = nullptr,
                                    int limit = kPageSize);
    /// The rows matching `filter` whose key is above `id` and not `known`, in order, with
    /// their numbers' counts; of those above `id`, the `limit` with the highest keys are read
    /// (`more` says whether that cut any off).
    std::optional<HistoryPage> above(qint64 id, const HistoryFilter& filter, int limit = kPageSize,
                                     const QSet<qint64>& known = {});
    /// The highest key in the table; 0 when it is empty.
    std::optional<qint64> newestId();
    /// Every row matching `filter`, in order, page by page, until `take` returns false.
    /// False when a read failed (rows taken so far stay taken).
    bool forEach(const HistoryFilter& filter, const std::function<bool(const HistoryEntry&)>& take);

    const QString& target() const { return m_target; }
    QString lastError() const { return m_lastError; }

private:
    bool connect();
    void disconnect();
    void readDone();
    QSqlDatabase database() const;
    /// The WHERE clause (with its leading " WHERE ") and its values, in order.
    QString conditions(const HistoryFilter& filter, QVariantList& values, const QStringList& more) const;
    enum class Order
    {
        Newest, ///< the history's order
        ByKey,  ///< the highest key first
    };
    std::optional<std::vector<HistoryEntry>> select(const QString& where, const QVariantList& values, int limit,
                                                    Order order = Order::Newest);
    bool addCounts(std::vector<HistoryEntry>& rows);
    bool addEvents(std::vector<HistoryEntry>& rows);
    bool fail(const QString& why);

    QString m_target;
    HistoryDatabase::Reading m_sql;
    QString m_connectionName;
    bool m_connected = false;
    /// Whether the database has the events table, as found at the last connection.
    bool m_withEvents = false;
    QString m_lastError;
};
