#include "calls/HistoryWriter.h"

HistoryWriter::HistoryWriter(StoreFactory makeStore, QString spoolPath, Reporter report)
    : m_makeStore(std::move(makeStore))
    , m_spoolPath(std::move(spoolPath))
    , m_report(std::move(report))
{}

HistoryWriter::~HistoryWriter() = default;

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

void HistoryWriter::submit(qint64 key, const HistoryRow& row, const QString& target)
{
    m_waiting.push_back({key, row});
    m_lastKey = std::max(m_lastKey, key);
    drain(target);
}

void HistoryWriter::drain(const QString& target)
{
    m_target = target;
    writeWaiting();
}

void HistoryWriter::writeWaiting()
{
    HistoryReport report;
    while (!m_waiting.empty()) {
        Waiting& next = m_waiting.front();
        HistoryRow row = next.row;
        HistoryStore* target = store();
        const HistoryStore::Outcome outcome = target ? target->append(row) : HistoryStore::Outcome::Unavailable;
        if (outcome != HistoryStore::Outcome::Written)
            report.error = target ? target->lastError() : QStringLiteral("no store");
        if (outcome == HistoryStore::Outcome::Unavailable) {
            // What the store learnt of an unsettled write is kept for its next attempt.
            next.row.unsettledTransaction = row.unsettledTransaction;
            break;
        }
        // A store that could not take the entry out with the row leaves it to us.
        if (row.spoolId != 0) {
            if (!m_spool)
                m_spool = std::make_unique<HistorySpool>(m_spoolPath);
            m_spool->remove(row.spoolId);
        }
        report.settled.emplace_back(next.key, outcome);
        m_waiting.pop_front();
    }

    if (!m_retry) {
        m_retry = new QTimer(this);
        m_retry->setInterval(kRetryInterval);
        m_retry->callOnTimeout(this, &HistoryWriter::writeWaiting);
    }
    if (m_waiting.empty())
        m_retry->stop();
    else if (!m_retry->isActive())
        m_retry->start();
    report.triedUpTo = m_lastKey;
    report.waiting = int(m_waiting.size());
    report.retrying = m_retry->isActive();
    m_report(std::move(report));
}
