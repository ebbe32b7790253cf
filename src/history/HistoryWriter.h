#pragma once

#include "history/HistoryJournal.h"
#include "history/HistorySpool.h"
#include "history/HistoryStore.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

/// What a round of writing achieved, told to the thread that asked.
struct HistoryReport
{
    struct Settled
    {
        qint64 key = 0;
        HistoryStore::Outcome outcome = HistoryStore::Outcome::Written;
        /// Why a refused row was refused, in the driver's words.
        QString reason{};
    };
    struct SetAside
    {
        qint64 key = 0;
        HistoryRow row;
        QString reason;
    };

    /// The requests this round answers; none for rounds of the writer's own (rows that
    /// arrived, the retry, a report of progress within a long round).
    std::vector<qint64> answering;
    /// Rows that left the spool, by key: written, or refused by the table and dropped.
    std::vector<Settled> settled;
    /// Rows whose noted write cannot be settled against the database it went to: they wait
    /// on their own and the rows after them go on.
    std::vector<SetAside> setAside;
    int waiting = 0;
    bool retrying = false;
    /// Why the first waiting row was not written, in the driver's words; empty when none waits.
    QString error;
    /// Why written rows could not be taken out of the spool (their notes settle them later).
    QString spoolError{};
};

/// Writes call-history rows on a thread of its own, so that a slow disk or a database that
/// stops answering never holds up the window, the watchdog or the reading of the port. Rows
/// come from the journal once they are durable there, and are written in that order, as many
/// in one transaction as the store takes: when a call asks for its row, when a row has waited
/// a second without being asked for, and on the retry while rows wait. A row that cannot be
/// written waits, with every row after it. Lives in the writing thread; the other threads
/// reach it only through queued calls.
class HistoryWriter final : public QObject
{
public:
    using StoreFactory = std::function<std::unique_ptr<HistoryStore>(const QString& path)>;
    using Reporter = std::function<void(HistoryReport)>;

    static constexpr std::chrono::milliseconds kRetryInterval{60000};
    /// Rows nobody has asked for (the call was handled in another mode) are written this soon.
    static constexpr std::chrono::milliseconds kUnaskedWrite{1000};
    /// How long a noted write may stay open on its server (its session lost) before its row
    /// is set aside; the server ends such a session well before.
    static constexpr std::chrono::seconds kSettlePatience{30};

    /// `report` is called in the writing thread after each round.
    HistoryWriter(StoreFactory makeStore, QString spoolPath, Reporter report);
    ~HistoryWriter() override;

    /// Rows durable in the journal (or kept in memory only), in key order, for `target`.
    void take(std::vector<KeptRow> rows, const QString& target);
    /// Request `number`: write what waits up to the row `upToKey` to `target`, and answer. A
    /// request for rows that have not come yet is answered once they have.
    void request(qint64 number, qint64 upToKey, const QString& target);
    void setRetryInterval(std::chrono::milliseconds interval);

private:
    struct Waiting
    {
        qint64 key;
        HistoryRow row;
        /// Since when its noted write has been open on the server.
        std::optional<std::chrono::steady_clock::time_point> openSince{};
    };
    struct Request
    {
        qint64 number;
        qint64 upToKey;
    };
    enum class Step
    {
        Done,
        Stop,
    };

    void round(std::vector<qint64> answering);
    void retryRound();
    /// Settles the noted write at the head of the line.
    Step settleHead(HistoryReport& report);
    Step writeBatch(HistoryReport& report);
    void retrySetAside(HistoryReport& report);
    void removeFromSpool(const std::vector<qint64>& spoolIds);
    HistoryStore* store();
    /// Asks the history a noted write went to (the current one, or its own target's) whether
    /// its row is there; `why` when it cannot tell, `elsewhere` when that is not the current one.
    HistoryStore::Settlement settle(const HistoryRow& row, QString& why, bool& elsewhere);
    HistorySpool& spool();

    StoreFactory m_makeStore;
    QString m_spoolPath;
    Reporter m_report;
    std::unique_ptr<HistorySpool> m_spool;
    std::unique_ptr<HistoryStore> m_store;
    QString m_storePath;
    QString m_target;
    std::deque<Waiting> m_waiting;
    std::vector<Waiting> m_setAside;
    std::vector<Request> m_pending;
    qint64 m_lastKey = 0;
    bool m_failing = false;
    QString m_spoolError;
    QTimer* m_retry = nullptr;
    QTimer* m_unasked = nullptr;
};
