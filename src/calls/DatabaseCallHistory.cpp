#include "calls/DatabaseCallHistory.h"

#include "app/Settings.h"
#include "calls/PostgresHistoryStore.h"
#include "calls/PostgresUri.h"
#include "calls/SqliteHistoryStore.h"

#include <utility>

DatabaseCallHistory::StoreFactory DatabaseCallHistory::defaultFactory()
{
    return [](const QString& path) -> std::unique_ptr<HistoryStore> {
        if (isPostgresUri(path))
            return std::make_unique<PostgresHistoryStore>(path);
        return std::make_unique<SqliteHistoryStore>(path);
    };
}

DatabaseCallHistory::DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore)
    : DatabaseCallHistory(state, boxes, std::move(makeStore), HistorySpool::pathIn(state.appDir))
{}

DatabaseCallHistory::DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore,
                                         const QString& spoolPath)
    : m_state(state)
    , m_boxes(boxes)
    , m_makeStore(makeStore ? std::move(makeStore) : defaultFactory())
    , m_spool(spoolPath)
{
    m_retry.setInterval(kRetryInterval);
    m_retry.callOnTimeout([this] { drainSpool(); });
    if (!m_spool.lastError().isEmpty())
        DebugLog(m_state,
                 QStringLiteral("history spool %1 kept in memory only: %2").arg(spoolPath, m_spool.lastError()));
}

// One store per configured database, kept while the setting stays: a PostgreSQL store holds
// its connection between calls.
HistoryStore* DatabaseCallHistory::store()
{
    const QString& path = m_state.urlSettings.path3;
    if (!m_store || path != m_storePath) {
        m_store.reset();
        m_store = m_makeStore(path);
        m_storePath = path;
    }
    return m_store.get();
}

HistoryStore::Outcome DatabaseCallHistory::append(HistoryRow& row, QString& error)
{
    HistoryStore* target = store();
    if (!target) {
        error = QStringLiteral("no store");
        return HistoryStore::Outcome::Unavailable;
    }
    const HistoryStore::Outcome outcome = target->append(row);
    error = target->lastError();
    return outcome;
}

void DatabaseCallHistory::trace(const QString& what, const QString& storeError)
{
    DebugLog(m_state,
             QStringLiteral("%1 \"%2\": %3").arg(what, withoutPassword(m_state.urlSettings.path3), storeError));
}

void DatabaseCallHistory::showUnusable()
{
    m_boxes.show(QStringLiteral("Accessデータベースが使用できません。"), m_state.systemSettings.appName,
                 MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
}

bool DatabaseCallHistory::drainSpool()
{
    while (!m_spool.isEmpty()) {
        HistoryRow row = m_spool.front();
        QString error;
        const HistoryStore::Outcome outcome = append(row, error);
        if (outcome == HistoryStore::Outcome::Unavailable) {
            if (row.unsettledTransaction != m_spool.front().unsettledTransaction)
                m_spool.updateFront(row);
            trace(QStringLiteral("%1 waiting history rows not written to").arg(m_spool.size()), error);
            break;
        }
        if (outcome == HistoryStore::Outcome::Refused)
            trace(QStringLiteral("waiting history row %1 refused and dropped by").arg(row.number), error);
        m_spool.popFront();
    }
    if (m_spool.isEmpty())
        m_retry.stop();
    else if (!m_retry.isActive())
        m_retry.start();
    return m_spool.isEmpty();
}

void DatabaseCallHistory::WriteCallHistory(const QString& number, const QDateTime& calldate)
{
    HistoryRow row{number, calldate};
    // The rows still waiting go first, so the history keeps the order of the calls.
    if (drainSpool()) {
        QString error;
        const HistoryStore::Outcome outcome = append(row, error);
        if (outcome == HistoryStore::Outcome::Written)
            return;
        trace(QStringLiteral("history not written to"), error);
        if (outcome == HistoryStore::Outcome::Refused) {
            // Writing it again could never succeed; keeping it would hold up every later row.
            showUnusable();
            return;
        }
    }
    if (!m_spool.push(row))
        DebugLog(m_state, QStringLiteral("history row kept in memory only: %1").arg(m_spool.lastError()));
    if (!m_retry.isActive())
        m_retry.start();
    showUnusable();
}
