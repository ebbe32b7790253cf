#pragma once

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "calls/CallHistory.h"
#include "calls/HistoryStore.h"

#include <functional>
#include <memory>

/// `WriteCallHistory` on a `HistoryStore` for the file named by `urlSettings.path3`, read
/// at every call. Any failure shows "Accessデータベースが使用できません。" and writes nothing.
class DatabaseCallHistory final : public CallHistory
{
public:
    /// Makes the store for one call from the configured path.
    using StoreFactory = std::function<std::unique_ptr<HistoryStore>(const QString& path)>;

    /// The default factory makes a `SqliteHistoryStore`.
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore = {});

    void WriteCallHistory(const QString& number, const QDateTime& calldate) override;

private:
    const SharedState& m_state;
    MessageBoxes& m_boxes;
    StoreFactory m_makeStore;
};
