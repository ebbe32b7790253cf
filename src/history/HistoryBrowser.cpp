#include "history/HistoryBrowser.h"

#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <utility>

/// What a read on the worker's thread brought back.
struct HistoryBrowser::Answer
{
    enum class Kind
    {
        Search,
        Page,
        Poll,
        Export,
    };
    Kind kind = Kind::Search;
    qint64 generation = 0;
    bool ok = false;
    QString error{};
    std::vector<HistoryEntry> rows{};
    bool more = false;
    qint64 newestId = 0;
    QString path{};
    HistoryExport exported{};
};

/// Owns the reader, in the worker's thread.
class HistoryBrowser::Worker final : public QObject
{
public:
    explicit Worker(const QString& target)
        : reader(target)
    {}
    HistoryReader reader;
};

HistoryBrowser::HistoryBrowser(QString target, QObject* parent)
    : QObject(parent)
    , m_target(std::move(target))
    , m_relay(std::make_shared<QueuedRelay>(this))
    , m_thread(new QThread)
    , m_worker(new Worker(m_target))
{
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("history reader"));
    m_thread->start();
    m_poll.setInterval(kPollInterval);
    connect(&m_poll, &QTimer::timeout, this, &HistoryBrowser::tick);
    m_poll.start();
}

HistoryBrowser::~HistoryBrowser()
{
    m_relay->detach();
    m_thread->quit();
    // A read that waits for a server that does not answer ends with its own time-out; the
    // window does not wait for it.
    if (m_thread->wait(QDeadlineTimer(100))) {
        delete m_thread;
    } else {
        connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    }
}

void HistoryBrowser::post(std::function<Answer(HistoryReader&)> work)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, worker = m_worker, relay = m_relay, work = std::move(work)] {
            relay->post([this, answer = work(worker->reader)] { answered(answer); });
        },
        Qt::QueuedConnection);
}

void HistoryBrowser::search(const HistoryFilter& filter)
{
    m_filter = filter;
    ++m_generation;
    m_searched = false;
    m_fetching = false;
    m_more = false;
    m_last.reset();
    // While the history cannot be read, the rows of the search before go at once: this
    // search's answer may take a connection time-out to fail.
    if (!m_reachable)
        dropOtherSearchRows();
    // Typing sends a search per key: while one is read, only the latest waits for its turn.
    if (m_searching) {
        m_searchWaits = true;
        return;
    }
    m_searching = true;
    post([generation = m_generation, filter](HistoryReader& reader) {
        Answer answer{Answer::Kind::Search, generation};
        const std::optional<qint64> newest = reader.newestId();
        const std::optional<HistoryPage> page = newest ? reader.page(filter) : std::nullopt;
        answer.ok = page.has_value();
        answer.error = reader.lastError();
        if (page) {
            answer.rows = page->rows;
            answer.more = page->more;
            answer.newestId = *newest;
        }
        return answer;
    });
}

void HistoryBrowser::fetchMore()
{
    if (!canFetchMore() || !m_last)
        return;
    m_fetching = true;
    post([generation = m_generation, filter = m_filter, last = *m_last](HistoryReader& reader) {
        Answer answer{Answer::Kind::Page, generation};
        const std::optional<HistoryPage> page = reader.page(filter, &last);
        answer.ok = page.has_value();
        answer.error = reader.lastError();
        if (page) {
            answer.rows = page->rows;
            answer.more = page->more;
        }
        return answer;
    });
}

void HistoryBrowser::lookForNewRows()
{
    if (!m_searched || m_polling)
        return;
    m_polling = true;
    const qint64 from = std::max<qint64>(0, m_newestId - kLateCommits);
    // The rows of those keys already shown are not counted again.
    QSet<qint64> known;
    for (qint64 id = from + 1; id <= m_newestId; ++id)
        if (m_shown.contains(id))
            known.insert(id);
    post([generation = m_generation, filter = m_filter, from, known](HistoryReader& reader) {
        Answer answer{Answer::Kind::Poll, generation};
        const int limit = HistoryReader::kPageSize + int(kLateCommits);
        const std::optional<qint64> newest = reader.newestId();
        const std::optional<HistoryPage> rows = newest ? reader.above(from, filter, limit, known) : std::nullopt;
        answer.ok = rows.has_value();
        answer.error = reader.lastError();
        if (rows) {
            answer.newestId = *newest;
            answer.rows = rows->rows;
            answer.more = rows->more;
        }
        return answer;
    });
}

void HistoryBrowser::exportTo(const QString& path, NumberReading reading)
{
    post([generation = m_generation, filter = m_filter, path, reading](HistoryReader& reader) {
        Answer answer{Answer::Kind::Export, generation};
        answer.path = path;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            answer.exported.error = file.errorString();
        } else {
            answer.exported = exportHistory(reader, filter, file, reading);
            if (answer.exported.ok && !file.commit())
                answer.exported = HistoryExport{false, 0, file.errorString()};
        }
        // A file that cannot be written is not the database's fault.
        answer.ok = answer.exported.ok || reader.lastError().isEmpty();
        answer.error = reader.lastError();
        return answer;
    });
}

void HistoryBrowser::tick()
{
    // Whatever failed is asked again; then new rows are looked for.
    if (!m_searched && !m_searching)
        search(m_filter);
    else if (m_searched && m_more && !m_fetching && m_last && !m_reachable)
        fetchMore();
    lookForNewRows();
}

void HistoryBrowser::answered(const Answer& answer)
{
    switch (answer.kind) {
    case Answer::Kind::Search:
        m_searching = false;
        if (std::exchange(m_searchWaits, false))
            search(m_filter);
        break;
    case Answer::Kind::Page:
        if (answer.generation == m_generation)
            m_fetching = false;
        break;
    case Answer::Kind::Poll:
        m_polling = false;
        break;
    case Answer::Kind::Export:
        emit exported(answer.path, answer.exported);
        break;
    }
    if (answer.generation != m_generation)
        return;
    if (!answer.ok) {
        if (answer.kind == Answer::Kind::Search)
            dropOtherSearchRows();
        if (std::exchange(m_reachable, false))
            emit unreachable(answer.error);
        return;
    }
    if (!std::exchange(m_reachable, true))
        emit reachable();

    switch (answer.kind) {
    case Answer::Kind::Search:
        m_searched = true;
        m_newestId = answer.newestId;
        m_more = answer.more;
        m_shown.clear();
        for (const HistoryEntry& row : answer.rows)
            m_shown.insert(row.id);
        m_last = answer.rows.empty() ? std::nullopt : std::optional(answer.rows.back());
        m_shownFilter = m_filter;
        emit reset(answer.rows);
        break;
    case Answer::Kind::Page:
        m_more = answer.more;
        if (!answer.rows.empty())
            m_last = answer.rows.back();
        emit appended(unshown(answer.rows));
        break;
    case Answer::Kind::Poll:
        // More new rows than a poll takes, or a table emptied or replaced: start over.
        if (answer.more || answer.newestId < m_newestId) {
            search(m_filter);
            break;
        }
        m_newestId = answer.newestId;
        if (std::vector<HistoryEntry> fresh = unshown(answer.rows, true); !fresh.empty())
            emit arrived(fresh);
        break;
    case Answer::Kind::Export:
        break;
    }
}

void HistoryBrowser::dropOtherSearchRows()
{
    if (m_shownFilter == m_filter)
        return;
    m_shownFilter = m_filter;
    m_shown.clear();
    emit reset({});
}

std::vector<HistoryEntry> HistoryBrowser::unshown(const std::vector<HistoryEntry>& rows, bool arrived)
{
    std::vector<HistoryEntry> fresh;
    for (const HistoryEntry& row : rows) {
        // A new row whose place lies beyond the rows read so far comes with its page.
        if (arrived && m_more && m_last && !comesBefore(row, *m_last))
            continue;
        if (!m_shown.contains(row.id)) {
            m_shown.insert(row.id);
            fresh.push_back(row);
        }
    }
    std::sort(fresh.begin(), fresh.end(), comesBefore);
    return fresh;
}
