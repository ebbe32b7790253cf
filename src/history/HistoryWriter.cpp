#include "history/HistoryWriter.h"

#include <algorithm>
#include <iterator>
#include <utility>

using Outcome = HistoryStore::Outcome;
using Settlement = HistoryStore::Settlement;

namespace {

// One transaction of the store's at most this many rows: a burst is written in a few
// commits, and no lock on the history is held for long.
constexpr std::size_t kLargestBatch = 500;

} // namespace

HistoryWriter::HistoryWriter(StoreFactory makeStore, QString spoolPath, Reporter report)
    : m_makeStore(std::move(makeStore))
    , m_spoolPath(std::move(spoolPath))
    , m_report(std::move(report))
    , m_retry(new QTimer(this))
    , m_unasked(new QTimer(this))
{
    m_retry->setInterval(kRetryInterval);
    m_retry->callOnTimeout(this, &HistoryWriter::retryRound);
    m_unasked->setSingleShot(true);
    m_unasked->setInterval(kUnaskedWrite);
    m_unasked->callOnTimeout(this, [this] { round({}); });
}

HistoryWriter::~HistoryWriter() = default;

void HistoryWriter::setRetryInterval(std::chrono::milliseconds interval)
{
    m_retry->setInterval(interval);
}

// One store per configured database, kept while the setting stays: a PostgreSQL store holds
// its connection between calls.
HistoryStore* HistoryWriter::store()
{
    if (!m_store || m_target != m_storePath) {
        m_store.reset();
        m_store = m_makeStore(m_target);
        m_storePath = m_target;
    }
    return m_store.get();
}

HistoryStore::Settlement HistoryWriter::settle(const HistoryRow& row, QString& why, bool& elsewhere)
{
    // Files of earlier versions did not name the target.
    std::unique_ptr<HistoryStore> other;
    elsewhere = !row.noted.target.isEmpty() && row.noted.target != m_target;
    if (elsewhere)
        other = m_makeStore(row.noted.target);
    HistoryStore* asked = elsewhere ? other.get() : store();
    if (!asked) {
        why = QStringLiteral("no store for %1").arg(row.noted.target);
        return Settlement::Unknown;
    }
    const Settlement settlement = asked->settle(row);
    why = asked->lastError();
    return settlement;
}

HistorySpool& HistoryWriter::spool()
{
    if (!m_spool)
        m_spool = std::make_unique<HistorySpool>(m_spoolPath);
    return *m_spool;
}

void HistoryWriter::take(std::vector<KeptRow> rows, const QString& target)
{
    m_target = target;
    for (KeptRow& kept : rows) {
        m_lastKey = std::max(m_lastKey, kept.key);
        m_waiting.push_back({kept.key, std::move(kept.row)});
    }
    std::vector<qint64> answerable;
    const auto covered = std::stable_partition(m_pending.begin(), m_pending.end(),
                                               [this](const Request& r) { return r.upToKey > m_lastKey; });
    for (auto request = covered; request != m_pending.end(); ++request)
        answerable.push_back(request->number);
    m_pending.erase(covered, m_pending.end());
    if (!answerable.empty())
        round(std::move(answerable));
    else if (!m_failing && !m_waiting.empty() && !m_unasked->isActive())
        m_unasked->start();
}

void HistoryWriter::request(qint64 number, qint64 upToKey, const QString& target)
{
    m_target = target;
    if (upToKey > m_lastKey) {
        m_pending.push_back({number, upToKey});
        return;
    }
    round({number});
}

void HistoryWriter::retryRound()
{
    HistoryReport report;
    retrySetAside(report);
    if (!report.settled.empty() || !report.setAside.empty())
        m_report(std::move(report));
    round({});
}

void HistoryWriter::removeFromSpool(const std::vector<qint64>& spoolIds)
{
    // Left behind, an entry keeps its note, and the next start finds its row written. Rows
    // kept in memory only have no entry.
    std::vector<qint64> entries;
    std::copy_if(spoolIds.begin(), spoolIds.end(), std::back_inserter(entries), [](qint64 id) { return id != 0; });
    if (!entries.empty() && !spool().remove(entries))
        m_spoolError = spool().lastError();
}

HistoryWriter::Step HistoryWriter::settleHead(HistoryReport& report)
{
    Waiting& head = m_waiting.front();
    QString why;
    bool elsewhere = false;
    const Settlement settlement = settle(head.row, why, elsewhere);
    switch (settlement) {
    case Settlement::Written:
        report.settled.push_back({head.key, Outcome::Written});
        removeFromSpool({head.row.spoolId});
        m_waiting.pop_front();
        return Step::Done;
    case Settlement::NotWritten:
        head.row.noted = {};
        head.openSince.reset();
        return Step::Done;
    case Settlement::Open:
    case Settlement::Unknown:
        break;
    }
    // The history this row went to cannot answer. When it is the one configured now, every
    // row waits for it anyway; when it is another (the setting changed, the server went), or
    // the write has stayed open on it longer than its server lets a lost session live, the
    // row waits on its own and the rows after it go on.
    const auto now = std::chrono::steady_clock::now();
    if (settlement == Settlement::Open && !head.openSince)
        head.openSince = now;
    if (elsewhere || (head.openSince && now - *head.openSince > kSettlePatience)) {
        report.setAside.push_back({head.key, head.row, why});
        m_setAside.push_back(std::move(head));
        m_waiting.pop_front();
        return Step::Done;
    }
    report.error = why;
    return Step::Stop;
}

HistoryWriter::Step HistoryWriter::writeBatch(HistoryReport& report)
{
    HistoryStore* target = store();
    if (!target) {
        report.error = QStringLiteral("no store for %1").arg(m_target);
        return Step::Stop;
    }
    const std::size_t limit = std::clamp<std::size_t>(target->batchLimit(), 1, kLargestBatch);
    std::vector<HistoryRow> batch;
    for (const Waiting& waiting : m_waiting) {
        if (batch.size() == limit || waiting.row.noted)
            break;
        batch.push_back(waiting.row);
    }
    const auto noteInSpool = [this](const std::vector<HistoryRow>& rows, QString& error) {
        const bool anyKept =
            std::any_of(rows.begin(), rows.end(), [](const HistoryRow& row) { return row.spoolId != 0; });
        if (!anyKept || spool().note(rows))
            return true;
        error = spool().lastError();
        return false;
    };
    const std::vector<Outcome> outcomes = target->append(batch, noteInSpool);
    std::vector<qint64> spoolIds;
    std::size_t i = 0;
    for (; i < outcomes.size() && outcomes[i] != Outcome::Unavailable; ++i) {
        const Waiting& written = m_waiting.front();
        report.settled.push_back(
            {written.key, outcomes[i], outcomes[i] == Outcome::Refused ? target->lastError() : QString()});
        if (written.row.spoolId != 0)
            spoolIds.push_back(written.row.spoolId);
        m_waiting.pop_front();
    }
    removeFromSpool(spoolIds);
    if (i == outcomes.size() && i == batch.size())
        return Step::Done;
    // What the store learnt of a write that may have committed is kept for the next try.
    for (std::size_t j = i; j < batch.size(); ++j)
        m_waiting[j - i].row.noted = batch[j].noted;
    report.error = target->lastError();
    return Step::Stop;
}

void HistoryWriter::retrySetAside(HistoryReport& report)
{
    for (auto it = m_setAside.begin(); it != m_setAside.end();) {
        QString why;
        bool elsewhere = false;
        const Settlement settlement = settle(it->row, why, elsewhere);
        if (settlement == Settlement::Open || settlement == Settlement::Unknown) {
            ++it;
            continue;
        }
        if (settlement == Settlement::NotWritten) {
            // Late, and out of its turn, but once: to the history configured now.
            it->row.noted = {};
            m_waiting.push_front(std::move(*it));
        } else {
            report.settled.push_back({it->key, Outcome::Written});
            removeFromSpool({it->row.spoolId});
        }
        it = m_setAside.erase(it);
    }
}

void HistoryWriter::round(std::vector<qint64> answering)
{
    m_unasked->stop();
    HistoryReport report;
    bool failed = false;
    while (!m_waiting.empty() && !failed) {
        const Step step = m_waiting.front().row.noted ? settleHead(report) : writeBatch(report);
        failed = step == Step::Stop;
        // A long round tells what it has settled as it goes, so that no call waits for all of it.
        if (!failed && !m_waiting.empty() && !report.settled.empty()) {
            HistoryReport progress;
            progress.settled = std::exchange(report.settled, {});
            progress.setAside = std::exchange(report.setAside, {});
            progress.waiting = int(m_waiting.size());
            progress.retrying = m_retry->isActive();
            m_report(std::move(progress));
        }
    }
    m_failing = failed;
    if (m_waiting.empty() && m_setAside.empty())
        m_retry->stop();
    else if (!m_retry->isActive())
        m_retry->start();
    report.answering = std::move(answering);
    report.spoolError = std::exchange(m_spoolError, {});
    report.waiting = int(m_waiting.size());
    report.retrying = m_retry->isActive();
    m_report(std::move(report));
}
