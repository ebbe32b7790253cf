#pragma once

#include "history/HistorySpool.h"
#include "history/HistoryStore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <mutex>
#include <vector>

/// A call's row with the key its program gave it when its line was read, and the history it
/// is for (`path3` then).
struct KeptRow
{
    qint64 key = 0;
    HistoryRow row;
    QString target;
};

/// The journal: each call's row put durably into the spool file the moment its line is read,
/// on a thread of its own, so that a slow disk never holds up the reading of the port, the
/// pages or the window. Rows queued while a commit is under way go in together with the next
/// one, so a burst of calls costs a few commits, not one each.
class HistoryJournal final : public QObject
{
public:
    /// Called in the journal's thread after each commit with the rows it took, in the order
    /// they were queued, each with its `spoolId` (0 when the spool could not take them: they
    /// are then kept in memory only, and `error` says why).
    using Kept = std::function<void(std::vector<KeptRow> rows, const QString& error)>;

    HistoryJournal(const QString& spoolPath, Kept kept);

    /// From any thread: queues a row for the next commit and makes sure one follows.
    void enqueue(KeptRow row);
    /// In the journal's thread: commits what is queued, all of it in one transaction.
    void commit();

private:
    HistorySpool m_spool;
    Kept m_kept;
    std::mutex m_mutex;
    std::vector<KeptRow> m_queued;
    bool m_commitPosted = false;
};
