#pragma once

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "calls/CallHistory.h"
#include "calls/HistorySpool.h"
#include "calls/HistoryWriter.h"
#include "calls/QueuedRelay.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QEventLoop;
class QThread;

/// `WriteCallHistory` on a `HistoryStore` for the database named by `urlSettings.path3`
/// (a file, or a postgresql:// URI), read at every call.
///
/// A call's row goes into the spool in the application directory the moment the call is
/// read (`journal`), and leaves it only with its history row, so that a kill, a logout or a
/// power cut loses nothing. The rows are written in the order of the calls, on a thread of
/// their own. A call waits for its own row at most `kWriteWait`; a row not written by then
/// shows "Accessデータベースが使用できません。" as before, but is not lost: it waits, and is
/// written with its own date and time before the next call's row and every minute. Only a
/// row the table refuses is dropped. Rows an earlier run left in the spool go first.
class DatabaseCallHistory final : public CallHistory
{
public:
    using StoreFactory = HistoryWriter::StoreFactory;

    /// How long a call waits for its row to be written before it counts as not written.
    /// Longer than the stores' own time-outs, so that those are the ones that normally end
    /// a wait; this one bounds a database that stops answering altogether.
    static constexpr std::chrono::milliseconds kWriteWait{5000};
    /// How long the end of the program waits for a write under way.
    static constexpr std::chrono::milliseconds kStopWait{3000};

    /// The default factory makes a `PostgresHistoryStore` for a postgresql:// URI and a
    /// `SqliteHistoryStore` otherwise; the spool lives in the application directory.
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore = {});
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore,
                        const QString& spoolPath);
    ~DatabaseCallHistory() override;

    DatabaseCallHistory(const DatabaseCallHistory&) = delete;
    DatabaseCallHistory& operator=(const DatabaseCallHistory&) = delete;

    void journal(const QString& number, const QDateTime& calldate) override;
    void WriteCallHistory(const QString& number, const QDateTime& calldate) override;

    /// Writes the waiting rows, oldest first, until one is not written, and waits for that
    /// at most `kWriteWait`. Keeps retrying every minute while rows are waiting. True when
    /// none are left.
    bool drainSpool();
    /// Rows kept and not yet written.
    int spooledRows() const { return int(m_entries.size()); }
    /// How many of them an earlier run left in the spool.
    int rowsOfEarlierRun() const { return m_earlierRun; }
    /// Whether the minute's retry is due to run.
    bool retrying() const { return m_retrying; }
    void setWriteWait(std::chrono::milliseconds wait) { m_writeWait = wait; }
    /// Called (in this object's thread) each time rows have been written, so that whoever
    /// shows the history can read them.
    void setWrittenHandler(std::function<void()> handler) { m_written = std::move(handler); }

    /// Whether a row of this call (number, local time to the second) was kept here: one of
    /// the latest `kKeptCallsRemembered` calls of this run, or a row an earlier run left.
    bool keptHere(const QString& number, const QDateTime& calldate) const;
    static constexpr std::size_t kKeptCallsRemembered = 1000;

    static StoreFactory defaultFactory();

private:
    struct Entry
    {
        HistoryRow row;
        bool submitted = false;
        bool claimed = false;
        bool awaited = false;
    };

    qint64 keep(HistoryRow row);
    void remember(const HistoryRow& row);
    qint64 claim(const QString& number, const QDateTime& calldate);
    /// Hands the kept rows up to `key` to the writer, in order; the number of the last request.
    qint64 submitUpTo(qint64 key);
    qint64 request(std::function<void(HistoryWriter&)> work);
    /// Processes events until the writer has answered `requestNumber`, at most `kWriteWait`.
    bool waitForAnswer(qint64 requestNumber);
    void received(const HistoryReport& report);
    void trace(const QString& what, const QString& storeError);
    void showUnusable();

    const SharedState& m_state;
    MessageBoxes& m_boxes;
    HistorySpool m_spool;
    std::map<qint64, Entry> m_entries;
    std::deque<QString> m_keptCalls;
    std::map<qint64, HistoryStore::Outcome> m_outcomes;
    qint64 m_nextKey = 1;
    qint64 m_requests = 0;
    qint64 m_answers = 0;
    int m_earlierRun = 0;
    bool m_retrying = false;
    /// A wait ended without an answer and none has come since: the writer is held up.
    bool m_stalled = false;
    QString m_lastError;
    std::chrono::milliseconds m_writeWait{kWriteWait};
    std::vector<QEventLoop*> m_waits;
    std::function<void()> m_written;
    QObject m_inbox;
    std::shared_ptr<QueuedRelay> m_relay;
    QThread* m_thread = nullptr;
    HistoryWriter* m_writer = nullptr;
};
