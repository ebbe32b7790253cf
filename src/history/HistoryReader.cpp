#include "history/HistoryReader.h"

#include "history/CallEventDatabase.h"
#include "history/CallEventStore.h"
#include "history/HistoryDatabase.h"

#include <QScopeGuard>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <tuple>
#include <utility>

namespace {

// A search over years of calls may scan the table; it ends here rather than hold a
// connection of the office's server for long.
constexpr int kStatementTimeoutMs = 10000;
// How long a read waits for the program's own write to let go of an SQLite file.
constexpr std::chrono::milliseconds kBusyTimeout{2000};

QString startOfDay(const QDate& day)
{
    return day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
}

} // namespace

bool comesBefore(const HistoryEntry& a, const HistoryEntry& b)
{
    return std::tie(a.orderedAt, a.id) > std::tie(b.orderedAt, b.id);
}

HistoryReader::HistoryReader(QString target)
    : m_target(std::move(target))
    , m_sql{HistoryDatabase::onServer(m_target)}
    , m_connectionName(QStringLiteral("chakushin-history-reader-") + QUuid::createUuid().toString(QUuid::Id128))
{}

HistoryReader::~HistoryReader()
{
    disconnect();
}

// The connection is dropped at the next connect, once the failed statement is gone.
bool HistoryReader::fail(const QString& why)
{
    m_lastError = why;
    m_connected = false;
    return false;
}

QSqlDatabase HistoryReader::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool HistoryReader::connect()
{
    if (m_connected)
        return true;
    disconnect();
    m_lastError.clear();
    if (m_target.isEmpty())
        return fail(QStringLiteral("no history database is set"));
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(
            m_sql.onServer ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), m_connectionName);
        if (!db.isValid()) {
            why = QStringLiteral("Qt's %1 driver is not installed").arg(m_sql.onServer ? "PostgreSQL" : "SQLite");
        } else if (m_sql.onServer) {
            if (HistoryDatabase::configurePostgresConnection(db, m_target, why)) {
                if (!db.open()) {
                    why = db.lastError().text();
                } else if (QSqlQuery setup(db);
                           !setup.exec(QStringLiteral("SET default_transaction_read_only = on")) ||
                           !setup.exec(QStringLiteral("SET DateStyle = ISO")) ||
                           !setup.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs))) {
                    why = setup.lastError().text();
                } else {
                    m_connected = true;
                }
            }
        } else if (HistoryDatabase::configureSqliteConnection(db, m_target, QStringLiteral("ro"), kBusyTimeout, why)) {
            if (db.open())
                m_connected = true;
            else
                why = db.lastError().text();
        }
    }
    if (!m_connected)
        return fail(why);
    // Whether the table keeps names is read at each connection: it may have been given the
    // column since.
    QSqlQuery column(database());
    if (!column.exec(HistoryDatabase::nameColumnStatement(m_sql.onServer)))
        return fail(column.lastError().text());
    m_sql.withName = column.next();
    column.finish();
    // So is whether it has the events table: a history made before it reads without events.
    QSqlQuery events(database());
    if (!events.exec(CallEventDatabase::existsStatement(m_sql.onServer)))
        return fail(events.lastError().text());
    m_withEvents = events.next();
    return true;
}

void HistoryReader::disconnect()
{
    m_connected = false;
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

QString HistoryReader::conditions(const HistoryFilter& filter, QVariantList& values, const QStringList& more) const
{
    QStringList terms = more;
    if (!filter.fragment.isEmpty()) {
        // What was typed may be a number's digits, a name stored with the call, or a name or
        // reading of the phone book, given as the numbers it holds.
        QStringList any{m_sql.numberContains()};
        values << filter.fragment;
        if (m_sql.withName) {
            any << m_sql.nameContains();
            values << filter.fragment;
        }
        if (!filter.callerNumbers.isEmpty()) {
            any << m_sql.numberIn(int(filter.callerNumbers.size()));
            for (const QString& number : filter.callerNumbers)
                values << number;
        }
        if (m_withEvents) {
            // A memo's text, or who took the call, left a message or was left one.
            any << CallEventDatabase::eventContains(m_sql);
            values << filter.fragment << filter.fragment << filter.fragment;
        }
        terms << (any.size() == 1 ? any.front() : u'(' + any.join(QStringLiteral(" OR ")) + u')');
    }
    if (filter.number) {
        terms << m_sql.numberIs();
        // A null text would be bound as NULL, which equals nothing.
        values << (filter.number->isNull() ? QStringLiteral("") : *filter.number);
    }
    if (filter.from) {
        terms << m_sql.calledFrom();
        values << startOfDay(*filter.from);
    }
    if (filter.to) {
        terms << m_sql.calledBefore();
        values << startOfDay(filter.to->addDays(1));
    }
    // Without the events table nobody has done anything with any call, and no message is open.
    if (filter.openOnly && m_withEvents)
        terms << CallEventDatabase::callIsOpen(m_sql);
    if (!filter.messagesFor.isEmpty()) {
        if (m_withEvents) {
            terms << CallEventDatabase::messageOpenFor(m_sql);
            values << filter.messagesFor;
        } else {
            terms << QStringLiteral("1 = 0");
        }
    }
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

std::optional<std::vector<HistoryEntry>> HistoryReader::select(const QString& where, const QVariantList& values,
                                                               int limit, Order order)
{
    if (!connect())
        return std::nullopt;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    bool ok = query.prepare(m_sql.rows(where, order == Order::ByKey, limit));
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    std::vector<HistoryEntry> rows;
    while (query.next())
        rows.push_back(HistoryEntry{query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                                    query.value(3).toString(), 0,
                                    query.value(4).isNull() ? QString() : query.value(4).toString()});
    if (query.lastError().isValid()) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    query.finish();
    return rows;
}

bool HistoryReader::addCounts(std::vector<HistoryEntry>& rows)
{
    QStringList numbers;
    QSet<QString> seen;
    for (const HistoryEntry& row : rows)
        if (!seen.contains(row.number)) {
            seen.insert(row.number);
            numbers << row.number;
        }
    if (numbers.isEmpty())
        return true;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    bool ok = query.prepare(m_sql.counts(int(numbers.size())));
    for (const QString& number : numbers)
        query.addBindValue(number);
    if (!ok || !query.exec())
        return fail(query.lastError().text());
    QHash<QString, qint64> counts;
    while (query.next())
        counts.insert(query.value(0).toString(), query.value(1).toLongLong());
    query.finish();
    for (HistoryEntry& row : rows)
        row.calls = counts.value(row.number);
    return true;
}

bool HistoryReader::addEvents(std::vector<HistoryEntry>& rows)
{
    if (!m_withEvents || rows.empty())
        return true;
    std::vector<qint64> ids;
    ids.reserve(rows.size());
    for (const HistoryEntry& row : rows)
        ids.push_back(row.id);
    QSqlQuery query(database());
    QHash<qint64, std::vector<CallEvent>> events;
    if (!readEventsOfCalls(query, m_sql.onServer, ids, events))
        return fail(query.lastError().text());
    query.finish();
    for (HistoryEntry& row : rows)
        row.events = events.value(row.id);
    return true;
}

void HistoryReader::readDone()
{
    // A file is opened for each read: one moved away, replaced or restored is seen as it
    // is now, and no lock outlives the read.
    if (!m_sql.onServer)
        disconnect();
}

std::optional<HistoryPage> HistoryReader::page(const HistoryFilter& filter, const HistoryEntry* after, int limit)
{
    const auto done = qScopeGuard([this] { readDone(); });
    // The conditions depend on the columns and tables the connection found.
    if (!connect())
        return std::nullopt;
    QVariantList values;
    QStringList position;
    if (after) {
        position << m_sql.after();
        values << after->orderedAt << after->orderedAt << after->id;
    }
    const QString where = conditions(filter, values, position);
    // One row beyond the page tells whether there are more.
    std::optional<std::vector<HistoryEntry>> rows = select(where, values, limit + 1);
    if (!rows)
        return std::nullopt;
    HistoryPage result;
    result.more = int(rows->size()) > limit;
    if (result.more)
        rows->pop_back();
    result.rows = std::move(*rows);
    if (!addCounts(result.rows) || !addEvents(result.rows))
        return std::nullopt;
    return result;
}

std::optional<HistoryPage> HistoryReader::above(qint64 id, const HistoryFilter& filter, int limit,
                                                const QSet<qint64>& known)
{
    const auto done = qScopeGuard([this] { readDone(); });
    if (!connect())
        return std::nullopt;
    QVariantList values{id};
    // By key: the newest rows are found by the key's index, whatever the date's index offers.
    std::optional<std::vector<HistoryEntry>> rows =
        select(conditions(filter, values, {m_sql.key() + QStringLiteral(" > ?")}), values, limit, Order::ByKey);
    if (!rows)
        return std::nullopt;
    HistoryPage result;
    result.more = int(rows->size()) >= limit;
    for (HistoryEntry& row : *rows)
        if (!known.contains(row.id))
            result.rows.push_back(std::move(row));
    std::sort(result.rows.begin(), result.rows.end(), comesBefore);
    if (!addCounts(result.rows) || !addEvents(result.rows))
        return std::nullopt;
    return result;
}

std::optional<qint64> HistoryReader::newestId()
{
    const auto done = qScopeGuard([this] { readDone(); });
    if (!connect())
        return std::nullopt;
    QSqlQuery query(database());
    if (!query.exec(m_sql.newestKey()) || !query.next()) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    const qint64 newest = query.value(0).toLongLong();
    query.finish();
    return newest;
}

bool HistoryReader::forEach(const HistoryFilter& filter, const std::function<bool(const HistoryEntry&)>& take)
{
    constexpr int kExportPage = 1000;
    std::optional<HistoryEntry> last;
    for (;;) {
        const std::optional<HistoryPage> rows = page(filter, last ? &*last : nullptr, kExportPage);
        if (!rows)
            return false;
        for (const HistoryEntry& row : rows->rows)
            if (!take(row))
                return true;
        if (!rows->more || rows->rows.empty())
            return true;
        last = rows->rows.back();
    }
}
