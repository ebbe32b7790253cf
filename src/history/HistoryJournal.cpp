#include "history/HistoryJournal.h"

#include <QMetaObject>

#include <utility>

HistoryJournal::HistoryJournal(const QString& spoolPath, Kept kept)
    : m_spool(spoolPath)
    , m_kept(std::move(kept))
{}

void HistoryJournal::enqueue(KeptRow row)
{
    const std::lock_guard lock(m_mutex);
    m_queued.push_back(std::move(row));
    if (!std::exchange(m_commitPosted, true))
        QMetaObject::invokeMethod(this, &HistoryJournal::commit, Qt::QueuedConnection);
}

void HistoryJournal::commit()
{
    std::vector<KeptRow> rows;
    {
        const std::lock_guard lock(m_mutex);
        rows.swap(m_queued);
        m_commitPosted = false;
    }
    if (rows.empty())
        return;
    std::vector<HistoryRow> plain;
    plain.reserve(rows.size());
    for (const KeptRow& kept : rows)
        plain.push_back(kept.row);
    const std::vector<qint64> ids = m_spool.add(plain);
    for (std::size_t i = 0; i < ids.size(); ++i)
        rows[i].row.spoolId = ids[i];
    m_kept(std::move(rows), ids.empty() ? m_spool.lastError() : QString());
}
