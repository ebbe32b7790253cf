#pragma once

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "history/CallHistory.h"
#include "history/HistoryJournal.h"
#include "history/HistoryWriter.h"
#include "history/QueuedRelay.h"
#include "history/SpoolLock.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QEventLoop;
class QThread;

/// `WriteCallHistory` on a `HistoryStore` for the database named by `urlSettings.path3`
/// (a file, or a postgresql:// URI), read at every call.
///
/// A call's row goes into the spool in the application directory the moment the call is
/// read (`journal`, on a thread of its own), and leaves it only after its history row has
/// committed, so that a kill, a logout or a power cut loses nothing. The rows are written in
/// the order of the calls, on another thread. A call waits for its own row at most
/// `kWriteWait`. A row the database refuses to take now shows
/// "Accessデータベースが使用できません。" with the driver's reason, but is not lost: it
/// waits, and is written with its own date and time before the next call's row and on every
/// retry. Only a row the table refuses is dropped. A write that is not answered shows
/// nothing. Rows an earlier run left in the spool go first. One program owns a spool;
/// another started on the same directory keeps nothing in it (`spoolLock()`).
class DatabaseCallHistory final : public CallHistory
{
public:
    using StoreFactory = HistoryWriter::StoreFactory;

    /// How long a call waits for its row. Longer than the stores' own time-outs, so that
    /// those are the ones that normally end a wait; this one bounds a database that stops
    /// answering altogether, whose rows are then written when it answers again.
    static constexpr std::chrono::milliseconds kWriteWait{5000};
    /// How long a message box waits for the calls read before it to be in the journal.
    static constexpr std::chrono::milliseconds kJournalWait{2000};
    /// How long the end of the program waits for each of the journal and the writer.
    static constexpr std::chrono::milliseconds kStopWait{500};

    /// One wait of the user-interface thread for the history, for whoever wants to know.
    struct Wait
    {
        QString cause;
        std::chrono::milliseconds bound{};
        std::chrono::milliseconds took{};
    };

    /// The default factory makes a `PostgresHistoryStore` for a postgresql:// URI and a
    /// `SqliteHistoryStore` otherwise; the spool lives in the application directory.
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore = {});
    DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore,
                        const QString& spoolPath);
    ~DatabaseCallHistory() override;

    DatabaseCallHistory(const DatabaseCallHistory&) = delete;
    DatabaseCallHistory& operator=(const DatabaseCallHistory&) = delete;

    qint64 journal(const QString& number, const QDateTime& calldate) override;
    void WriteCallHistory(const QString& number, const Arrival& arrival) override;

    /// Writes the waiting rows, oldest first, until one is not written, and waits for that
    /// at most `kWriteWait`. The retry goes on while rows wait. True when none are left.
    bool drainSpool();
    /// Waits, at most `kJournalWait`, until every call read so far is durably in the journal.
    bool awaitJournal();
    /// Rows kept and not yet written.
    int spooledRows() const { return int(m_entries.size()); }
    /// How many of them an earlier run left in the spool.
    int rowsOfEarlierRun() const { return m_earlierRun; }
    /// Whether the retry is due to run.
    bool retrying() const { return m_retrying; }
    /// Whether this program owns the spool. When another does, nothing is kept in the spool
    /// and nothing of it written: the caller says so and does not run.
    const SpoolLock& spoolLock() const { return m_lock; }
    /// The latest wait of the user-interface thread for the history.
    const std::optional<Wait>& lastWait() const { return m_lastWait; }
    /// Whether the program is ending: a wait ended for it, and no wait starts any more.
    bool ending() const { return m_ending; }
    void setWriteWait(std::chrono::milliseconds wait) { m_writeWait = wait; }
    /// How often rows that could not be written are tried again (`HistoryWriter::kRetryInterval`).
    void setRetryInterval(std::chrono::milliseconds interval);
    /// Called (in this object's thread) each time rows have been written, so that whoever
    /// shows the history can read them.
    void setWrittenHandler(std::function<void()> handler) { m_written = std::move(handler); }

    /// Called with each call whose row is kept here from now on, and at once with the rows
    /// kept and not yet written (an earlier run's among them).
    using KeptHandler = std::function<void(const QString& number, const QDateTime& calldate)>;
    void setKeptHandler(KeptHandler handler);

    /// Gives the caller's name to keep with each call's row, as it is when the call is read;
    /// null for none. It is asked on this object's thread, and must not wait.
    using NameOf = std::function<QString(const QString& number)>;
    void setNameOf(NameOf nameOf) { m_nameOf = std::move(nameOf); }

    static StoreFactory defaultFactory();

private:
    void handEarlierRows();
    /// Asks the writer for the rows up to `upToKey`; the request's number, awaited until `forget`.
    qint64 request(qint64 upToKey);
    /// The answer to an awaited request, if it came; the request is no longer awaited.
    std::optional<QString> forget(qint64 number);
    /// Processes events until `done`, at most `bound`; false when it did not come. Ends at
    /// once, for good, when the program is ending.
    bool waitUntil(const QString& cause, std::chrono::milliseconds bound, const std::function<bool()>& done);
    /// The journal has taken `rows` more calls; `error` says why they are in memory only.
    void journaled(int rows, const QString& error);
    void received(const HistoryReport& report);
    void trace(const QString& what, const QString& storeError);
    void showUnusable(const QString& reason);
    void showSetAside(const HistoryReport::SetAside& row);

    const SharedState& m_state;
    MessageBoxes& m_boxes;
    SpoolLock m_lock;
    QString m_spoolPath;
    /// The calls kept and not yet written or refused, by key.
    std::map<qint64, HistoryRow> m_entries;
    /// Refused rows whose calls have not been handled yet, by key, with the reason.
    std::map<qint64, QString> m_refused;
    /// Rows of an earlier run, until they are handed to the writer.
    std::vector<KeptRow> m_earlier;
    qint64 m_nextKey = 1;
    qint64 m_requests = 0;
    /// Requests a wait is waiting for, and the answers that came for them: why rows were not
    /// written, empty when every row up to the request's was.
    std::set<qint64> m_awaited;
    std::map<qint64, QString> m_answers;
    int m_notDurable = 0;
    int m_earlierRun = 0;
    bool m_retrying = false;
    bool m_ending = false;
    /// A wait ended without an answer and none has come since: the writer is held up.
    bool m_stalled = false;
    std::chrono::milliseconds m_writeWait{kWriteWait};
    std::optional<Wait> m_lastWait;
    /// The waits under way, innermost last.
    std::vector<QEventLoop*> m_waits;
    std::function<void()> m_written;
    KeptHandler m_kept;
    NameOf m_nameOf;
    QObject m_inbox;
    std::shared_ptr<QueuedRelay> m_relay;
    QThread* m_journalThread = nullptr;
    QThread* m_writerThread = nullptr;
    HistoryJournal* m_journal = nullptr;
    HistoryWriter* m_writer = nullptr;
    std::shared_ptr<QueuedRelay> m_toWriter;
};
