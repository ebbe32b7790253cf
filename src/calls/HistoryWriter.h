#pragma once

#include "calls/HistorySpool.h"
#include "calls/HistoryStore.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

/// What a round of writing achieved, told to the thread that asked.
struct HistoryReport
{
    /// Rows that left the spool, by key: written, or refused by the table and dropped.
    std::vector<std::pair<qint64, HistoryStore::Outcome>> settled;
    /// Every row submitted up to this key has been tried; those not settled wait.
    qint64 triedUpTo = 0;
    int waiting = 0;
    bool retrying = false;
    /// Why the first waiting row was not written (or why a row was refused).
    QString error;
};

/// Writes call-history rows on a thread of its own, so that a slow disk or a database that
/// stops answering never holds up the window, the watchdog or the reading of the port. Rows
/// are written one at a time in the order they were submitted; a row that cannot be written
/// waits, with every row after it, and is tried again with the next submission and every
/// minute. Lives in the writing thread; the other threads reach it only through queued calls.
class HistoryWriter final : public QObject
{
public:
    using StoreFactory = std::function<std::unique_ptr<HistoryStore>(const QString& path)>;
    using Reporter = std::function<void(HistoryReport)>;

    static constexpr std::chrono::seconds kRetryInterval{60};

    /// `report` is called in the writing thread after each round.
    HistoryWriter(StoreFactory makeStore, QString spoolPath, Reporter report);
    ~HistoryWriter() override;

    /// Queues a row (its spool entry in `row`) for the history `target` and writes what waits.
    void submit(qint64 key, const HistoryRow& row, const QString& target);
    /// Writes what waits, to `target`.
    void drain(const QString& target);

private:
    struct Waiting
    {
        qint64 key;
        HistoryRow row;
    };

    void writeWaiting();
    HistoryStore* store();

    StoreFactory m_makeStore;
    QString m_spoolPath;
    Reporter m_report;
    std::unique_ptr<HistorySpool> m_spool;
    std::unique_ptr<HistoryStore> m_store;
    QString m_storePath;
    QString m_target;
    std::deque<Waiting> m_waiting;
    qint64 m_lastKey = 0;
    QTimer* m_retry = nullptr;
};
