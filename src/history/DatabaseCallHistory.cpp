#include "history/DatabaseCallHistory.h"

#include "app/Settings.h"
#include "history/CallAnnouncements.h"
#include "history/PostgresHistoryStore.h"
#include "history/PostgresUri.h"
#include "history/SqliteHistoryStore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

const QString kUnusable = QStringLiteral("Accessデータベースが使用できません。");

// The journal holds rows nothing else has yet: it gets longer than the writer, whose rows are
// safe in the spool whatever becomes of its write.
constexpr std::chrono::milliseconds kJournalStopWait{2000};

// How many refused rows wait for their calls, should those still come.
constexpr std::size_t kRefusalsRemembered = 1000;

} // namespace

DatabaseCallHistory::StoreFactory DatabaseCallHistory::defaultFactory()
{
    return [](const QString& path) -> std::unique_ptr<HistoryStore> {
        if (isPostgresUri(path))
            return std::make_unique<PostgresHistoryStore>(path);
        return std::make_unique<SqliteHistoryStore>(path);
    };
}

DatabaseCallHistory::DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore)
    : DatabaseCallHistory(state, boxes, std::move(makeStore), HistorySpool::pathIn(state.appDir))
{}

DatabaseCallHistory::DatabaseCallHistory(const SharedState& state, MessageBoxes& boxes, StoreFactory makeStore,
                                         const QString& spoolPath)
    : m_state(state)
    , m_boxes(boxes)
    , m_lock(spoolPath)
    // Without the lock nothing goes into the spool: it may be another program's.
    , m_spoolPath(m_lock.state() == SpoolLock::State::Held ? spoolPath : QString())
    , m_relay(std::make_shared<QueuedRelay>(&m_inbox))
    , m_journalThread(new QThread)
    , m_writerThread(new QThread)
{
    if (m_lock.state() != SpoolLock::State::Held)
        DebugLog(m_state, QStringLiteral("history spool %1 not used: %2").arg(spoolPath, m_lock.holder()));
    HistorySpool spool(m_spoolPath);
    for (HistorySpool::Entry& entry : spool.waiting()) {
        const qint64 key = m_nextKey++;
        m_earlier.push_back({key, entry.row, {}});
        m_entries.emplace(key, std::move(entry.row));
    }
    m_earlierRun = int(m_entries.size());
    if (!spool.lastError().isEmpty())
        DebugLog(m_state, QStringLiteral("history spool %1: %2").arg(spoolPath, spool.lastError()));

    m_writer = new HistoryWriter(makeStore ? std::move(makeStore) : defaultFactory(), m_spoolPath,
                                 [this, relay = m_relay](HistoryReport report) {
                                     relay->post([this, report = std::move(report)] { received(report); });
                                 });
    m_toWriter = std::make_shared<QueuedRelay>(m_writer);
    // Durable in the journal, a row goes straight on to the writer; the call hears of it too.
    m_journal = new HistoryJournal(m_spoolPath, [this, writer = m_writer, toWriter = m_toWriter,
                                                 relay = m_relay](std::vector<KeptRow> rows, const QString& error) {
        const int count = int(rows.size());
        const QString target = rows.back().target;
        toWriter->post([writer, rows = std::move(rows), target]() mutable { writer->take(std::move(rows), target); });
        relay->post([this, count, error] { journaled(count, error); });
    });
    for (auto [thread, worker, name] :
         {std::tuple{m_journalThread, static_cast<QObject*>(m_journal), "history journal"},
          std::tuple{m_writerThread, static_cast<QObject*>(m_writer), "history writer"}}) {
        worker->moveToThread(thread);
        QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
        thread->setObjectName(QString::fromLatin1(name));
        thread->start();
    }
}

DatabaseCallHistory::~DatabaseCallHistory()
{
    m_relay->detach();
    // What the journal holds goes to the disk first; then the writer stops. Whatever the
    // writer still has is in the spool, and a write that does not end in time is settled by
    // the next start.
    QMetaObject::invokeMethod(
        m_journal,
        [journal = m_journal] {
            journal->commit();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    if (m_journalThread->wait(QDeadlineTimer(kJournalStopWait)))
        delete m_journalThread;
    else
        std::fprintf(stderr, "chakushin: the history journal did not finish within %lld ms\n",
                     static_cast<long long>(kJournalStopWait.count()));
    m_toWriter->detach();
    m_writerThread->quit();
    if (m_writerThread->wait(QDeadlineTimer(kStopWait)))
        delete m_writerThread;
}

void DatabaseCallHistory::setRetryInterval(std::chrono::milliseconds interval)
{
    m_toWriter->post([writer = m_writer, interval] { writer->setRetryInterval(interval); });
}

// Standard error as well as the trace: the message box does not name the database.
void DatabaseCallHistory::trace(const QString& what, const QString& storeError)
{
    const QString line =
        QStringLiteral("%1 \"%2\": %3").arg(what, withoutPassword(m_state.urlSettings.path3), storeError);
    std::fprintf(stderr, "chakushin: %s\n", qPrintable(line));
    DebugLog(m_state, line);
}

void DatabaseCallHistory::showUnusable(const QString& reason)
{
    // The driver's reason, so that whoever looks after the database knows where to look.
    m_boxes.show(kUnusable + u'\n' + (reason.isEmpty() ? QStringLiteral("(理由不明)") : reason),
                 m_state.systemSettings.appName, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
}

void DatabaseCallHistory::showSetAside(const HistoryReport::SetAside& aside)
{
    const QString when = HistoryDatabase::dateTimeText(aside.row.calldate);
    const QString line = QStringLiteral("the history row of the call of %1 at %2 set aside: its write to \"%3\" "
                                        "cannot be settled (%4); later calls are written meanwhile")
                             .arg(aside.row.number, when, withoutPassword(aside.row.noted.target), aside.reason);
    std::fprintf(stderr, "chakushin: %s\n", qPrintable(line));
    DebugLog(m_state, line);
    // Outside the report's handling: the box runs an event loop of its own.
    QTimer::singleShot(0, &m_inbox, [this, aside, when] {
        m_boxes.show(kUnusable + u'\n' +
                         QStringLiteral("%1 %2 の着信が記録されたか確かめられません。後の着信は記録を続けます。\n%3")
                             .arg(when, aside.row.number, aside.reason),
                     m_state.systemSettings.appName, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
    });
}

void DatabaseCallHistory::setKeptHandler(KeptHandler handler)
{
    m_kept = std::move(handler);
    if (m_kept)
        for (const auto& [key, row] : m_entries)
            m_kept(row.number, row.calldate);
}

// The rows of an earlier run reach the writer before any of this run's.
void DatabaseCallHistory::handEarlierRows()
{
    if (m_earlier.empty())
        return;
    m_toWriter->post([writer = m_writer, rows = std::exchange(m_earlier, {}),
                      target = m_state.urlSettings.path3]() mutable { writer->take(std::move(rows), target); });
}

qint64 DatabaseCallHistory::journal(const QString& number, const QDateTime& calldate)
{
    handEarlierRows();
    HistoryRow row{number, calldate};
    if (m_nameOf)
        row.name = m_nameOf(number);
    if (m_kept)
        m_kept(number, calldate);
    const qint64 key = m_nextKey++;
    m_entries.emplace(key, row);
    ++m_notDurable;
    m_journal->enqueue({key, row, m_state.urlSettings.path3});
    return key;
}

void DatabaseCallHistory::journaled(int rows, const QString& error)
{
    m_notDurable -= rows;
    if (!error.isEmpty())
        trace(QStringLiteral("%1 history rows kept in memory only, not in the spool for").arg(rows), error);
    for (QEventLoop* wait : m_waits)
        wait->exit(1);
}

qint64 DatabaseCallHistory::request(qint64 upToKey)
{
    const qint64 number = ++m_requests;
    m_awaited.insert(number);
    m_toWriter->post([writer = m_writer, number, upToKey, target = m_state.urlSettings.path3] {
        writer->request(number, upToKey, target);
    });
    return number;
}

std::optional<QString> DatabaseCallHistory::forget(qint64 number)
{
    m_awaited.erase(number);
    const auto answered = m_answers.find(number);
    if (answered == m_answers.end())
        return std::nullopt;
    return m_answers.extract(answered).mapped();
}

bool DatabaseCallHistory::waitUntil(const QString& cause, std::chrono::milliseconds bound,
                                    const std::function<bool()>& done)
{
    if (m_ending || done())
        return done();
    QElapsedTimer clock;
    clock.start();
    const QDeadlineTimer deadline(bound);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        // Only this object ends the loop with 1: anything else is the program ending (a
        // logout), which also ends every later loop at once, so no later wait may start.
        m_waits.push_back(&loop);
        QTimer::singleShot(std::max<qint64>(0, deadline.remainingTime()), &loop, [&loop] { loop.exit(1); });
        const int how = loop.exec();
        m_waits.pop_back();
        if (how != 1) {
            m_ending = true;
            break;
        }
    }
    m_lastWait = Wait{cause, bound, std::chrono::milliseconds(clock.elapsed())};
    return done();
}

void DatabaseCallHistory::received(const HistoryReport& report)
{
    m_stalled = false;
    m_retrying = report.retrying;
    bool written = false;
    for (const HistoryReport::Settled& settled : report.settled) {
        written = written || settled.outcome == HistoryStore::Outcome::Written;
        const auto entry = m_entries.find(settled.key);
        if (entry == m_entries.end())
            continue;
        if (settled.outcome == HistoryStore::Outcome::Refused) {
            trace(QStringLiteral("history row %1 refused and dropped by").arg(entry->second.number), settled.reason);
            // For its call, should it still come.
            m_refused.emplace(settled.key, settled.reason);
            if (m_refused.size() > kRefusalsRemembered)
                m_refused.erase(m_refused.begin());
        }
        m_entries.erase(entry);
    }
    for (const HistoryReport::SetAside& aside : report.setAside)
        showSetAside(aside);
    for (const qint64 number : report.answering)
        if (m_awaited.count(number) != 0)
            m_answers.emplace(number, report.error);
    if (report.waiting > 0 && !report.error.isEmpty())
        trace(QStringLiteral("%1 waiting history rows not written to").arg(report.waiting), report.error);
    if (!report.spoolError.isEmpty())
        DebugLog(m_state, QStringLiteral("history spool: written rows not taken out: ") + report.spoolError);
    for (QEventLoop* wait : m_waits)
        wait->exit(1);
    if (written && m_written)
        m_written();
}

bool DatabaseCallHistory::drainSpool()
{
    handEarlierRows();
    if (m_entries.empty())
        return true;
    const qint64 number = request(m_nextKey - 1);
    waitUntil(QStringLiteral("the rows waiting in the spool"), m_writeWait,
              [&] { return m_entries.empty() || m_answers.count(number) != 0; });
    forget(number);
    return m_entries.empty();
}

bool DatabaseCallHistory::awaitJournal()
{
    return waitUntil(QStringLiteral("the calls read before a message box"), kJournalWait,
                     [&] { return m_notDurable == 0; });
}

void DatabaseCallHistory::WriteCallHistory(const QString& number, const Arrival& arrival)
{
    handEarlierRows();
    qint64 key = arrival.journalKey;
    if (key <= 0 || key >= m_nextKey)
        key = journal(number, arrival.at);
    const auto refusal = [&]() -> std::optional<QString> {
        const auto refused = m_refused.find(key);
        if (refused == m_refused.end())
            return std::nullopt;
        return m_refused.extract(refused).mapped();
    };

    std::optional<QString> answer;
    if (m_entries.count(key) != 0) {
        // While the writer is held up, later calls do not wait for it as well.
        const qint64 number = request(key);
        waitUntil(QStringLiteral("the row of the call of %1").arg(number),
                  m_stalled ? std::chrono::milliseconds(0) : m_writeWait,
                  [&] { return m_entries.count(key) == 0 || m_answers.count(number) != 0; });
        answer = forget(number);
    }
    if (m_entries.count(key) == 0) {
        if (const std::optional<QString> reason = refusal()) {
            // Writing it again could never succeed; keeping it would hold up every later row.
            trace(QStringLiteral("history not written to"), *reason);
            showUnusable(*reason);
        }
        return;
    }
    if (answer) {
        // The writer tried the rows up to this one after it had it, and the database did not
        // take them: that is worth a message, with the database's own words.
        if (answer->isEmpty())
            return; // set aside, and said so
        trace(QStringLiteral("history not written to"), *answer);
        showUnusable(*answer);
        return;
    }
    // No answer: the database neither took the row nor refused it. The row is safe in the
    // spool and goes in when the database answers; a message now could be false.
    m_stalled = !m_ending;
    trace(m_ending ? QStringLiteral("history write left in the spool for the next start, for")
                   : QStringLiteral("history write not finished in"),
          QStringLiteral("no answer within %1 ms").arg(m_lastWait ? m_lastWait->took.count() : 0));
}
