#pragma once

#include "history/HistoryCsv.h"
#include "history/HistoryFilter.h"
#include "history/HistoryReader.h"
#include "history/QueuedRelay.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QThread;

/// The history as a window shows it, read on a thread of its own so that a large table or a
/// server that does not answer never holds up the window, the watchdog or the port: the rows
/// of a search page by page, calls written since appearing at the top, and the export. A read
/// that fails is reported once and tried again every `kPollInterval` until the database is
/// back; nothing is ever shown in a message box. Answers that belong to an earlier search are
/// dropped, and rows of an earlier search are never left standing under a new one that cannot be
/// read: `reset` empties them.
class HistoryBrowser final : public QObject
{
    Q_OBJECT

public:
    /// How often new rows are looked for, and a failed read is tried again.
    static constexpr std::chrono::milliseconds kPollInterval{2000};
    /// A server may commit a row after one with a higher key: the newest keys are read again
    /// so that such a row still appears.
    static constexpr qint64 kLateCommits = 50;

    explicit HistoryBrowser(QString target, QObject* parent = nullptr);
    ~HistoryBrowser() override;

    HistoryBrowser(const HistoryBrowser&) = delete;
    HistoryBrowser& operator=(const HistoryBrowser&) = delete;

    const QString& target() const { return m_target; }
    const HistoryFilter& filter() const { return m_filter; }

    /// Starts over with the rows matching `filter`, from the newest: `reset` follows.
    void search(const HistoryFilter& filter);
    /// Whether more rows of the search are left to read.
    bool canFetchMore() const { return m_searched && m_more && !m_fetching; }
    /// Reads the next page of the search: `appended` follows.
    void fetchMore();
    /// Looks for rows written since, at once (it is done every `kPollInterval` anyway).
    void lookForNewRows();
    /// Writes the rows matching the search to the file `path` (replaced whole, only once
    /// complete) as CSV, each number also as `reading` gives it: `exported` follows.
    void exportTo(const QString& path, NumberReading reading);
    void setPollInterval(std::chrono::milliseconds interval) { m_poll.setInterval(interval); }
    /// Whether the last read reached the database.
    bool isReachable() const { return m_reachable; }

Q_SIGNALS:
    void reset(const std::vector<HistoryEntry>& rows);
    void appended(const std::vector<HistoryEntry>& rows);
    /// Rows written since the search, newest first; each carries its number's new count,
    /// which also holds for rows of that number already shown.
    void arrived(const std::vector<HistoryEntry>& rows);
    void exported(const QString& path, const HistoryExport& result);
    /// A read failed: the database cannot be reached or read (`why`, for the developer).
    void unreachable(const QString& why);
    /// A read succeeded after one had failed.
    void reachable();

private:
    class Worker;
    struct Answer;

    void post(std::function<Answer(HistoryReader&)> work);
    void answered(const Answer& answer);
    void tick();
    /// Empties what is shown when it belongs to another search than the one asked for.
    void dropOtherSearchRows();
    /// The rows not shown yet, in order; `arrived`: written since the search.
    std::vector<HistoryEntry> unshown(const std::vector<HistoryEntry>& rows, bool arrived = false);

    QString m_target;
    HistoryFilter m_filter;
    /// The search whose rows are shown.
    HistoryFilter m_shownFilter;
    qint64 m_generation = 0;
    bool m_searched = false;
    bool m_searching = false;
    bool m_searchWaits = false;
    bool m_more = false;
    bool m_fetching = false;
    bool m_polling = false;
    bool m_reachable = true;
    std::optional<HistoryEntry> m_last;
    qint64 m_newestId = -1;
    QSet<qint64> m_shown;
    QTimer m_poll;
    std::shared_ptr<QueuedRelay> m_relay;
    QThread* m_thread = nullptr;
    Worker* m_worker = nullptr;
};
