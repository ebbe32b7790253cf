#include "calls/DatabaseCallHistory.h"

#include "app/Settings.h"
#include "calls/SqliteHistoryStore.h"

#include <utility>

DatabaseCallHistory::DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore)
    : m_state(state)
    , m_boxes(boxes)
    , m_makeStore(std::move(makeStore))
{
    if (!m_makeStore)
        m_makeStore = [](const QString& path) {
            return std::make_unique<SqliteHistoryStore>(path);
        };
}

void DatabaseCallHistory::WriteCallHistory(const QString& number, const QDateTime& calldate)
{
    const std::unique_ptr<HistoryStore> store = m_makeStore(m_state.urlSettings.path3);
    if (store && store->append(number, calldate))
        return;
    DebugLog(m_state, QStringLiteral("history not written to \"%1\": %2")
                          .arg(m_state.urlSettings.path3, store ? store->lastError() : QStringLiteral("no store")));
    m_boxes.show(QStringLiteral("Accessデータベースが使用できません。"), m_state.systemSettings.appName,
                 MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
}
