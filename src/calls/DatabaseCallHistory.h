#pragma once

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "calls/CallHistory.h"
#include "calls/HistorySpool.h"
#include "calls/HistoryStore.h"

#include <QTimer>

#include <functional>
#include <memory>

/// `WriteCallHistory` on a `HistoryStore` for the database named by `urlSettings.path3`
/// (a file, or a postgresql:// URI), read at every call. A row that cannot be written shows
/// "Accessデータベースが使用できません。" as before, but is not lost: it waits in the spool and
/// is written, oldest first and with its own date and time, before the next call's row and
/// every minute while any are waiting. Only a row the table refuses is dropped.
class DatabaseCallHistory final : public CallHistory
{
public:
    /// Makes the store for a configured path.
    using StoreFactory = std::function<std::unique_ptr<HistoryStore>(const QString& path)>;

    static constexpr std::chrono::seconds kRetryInterval{60};

    /// The default factory makes a `PostgresHistoryStore` for a postgresql:// URI and a
    /// `SqliteHistoryStore` otherwise; the spool lives in the application directory.
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore = {});
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore,
                        const QString& spoolPath);

    void WriteCallHistory(const QString& number, const QDateTime& calldate) override;

    /// Writes the waiting rows, oldest first, until one is not written. Keeps retrying
    /// every minute while rows are waiting. True when none are left.
    bool drainSpool();
    int spooledRows() const { return m_spool.size(); }
    /// Whether the minute's retry is due to run.
    bool retrying() const { return m_retry.isActive(); }

    static StoreFactory defaultFactory();

private:
    HistoryStore* store();
    /// One row to the configured store; `error` says why when it is not written.
    HistoryStore::Outcome append(HistoryRow& row, QString& error);
    void trace(const QString& what, const QString& storeError);
    void showUnusable();

    const SharedState& m_state;
    MessageBoxes& m_boxes;
    StoreFactory m_makeStore;
    std::unique_ptr<HistoryStore> m_store;
    QString m_storePath;
    HistorySpool m_spool;
    QTimer m_retry;
};
