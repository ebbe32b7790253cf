#include "calls/DatabaseCallHistory.h"

#include "app/Settings.h"
#include "calls/CallAnnouncements.h"
#include "calls/PostgresHistoryStore.h"
#include "calls/PostgresUri.h"
#include "calls/SqliteHistoryStore.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <algorithm>
#include <cstdio>
#include <utility>

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
    , m_spool(spoolPath)
    , m_relay(std::make_shared<QueuedRelay>(&m_inbox))
    , m_thread(new QThread)
{
    for (HistorySpool::Entry& entry : m_spool.waiting()) {
        remember(entry.row);
        m_entries.emplace(m_nextKey++, Entry{std::move(entry.row)});
    }
    m_earlierRun = int(m_entries.size());
    if (!m_spool.lastError().isEmpty())
        DebugLog(m_state, QStringLiteral("history spool %1: %2").arg(spoolPath, m_spool.lastError()));

    m_writer = new HistoryWriter(makeStore ? std::move(makeStore) : defaultFactory(), spoolPath,
                                 [this, relay = m_relay](HistoryReport report) {
                                     relay->post([this, report = std::move(report)] { received(report); });
                                 });
    m_writer->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::finished, m_writer, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("history writer"));
    m_thread->start();
}

DatabaseCallHistory::~DatabaseCallHistory()
{
    m_relay->detach();
    m_thread->quit();
    // Whatever the writer still has is in the spool; a write that does not end in time is
    // settled by the next start.
    if (m_thread->wait(QDeadlineTimer(kStopWait)))
        delete m_thread;
}

// Standard error as well as the trace: the message box names neither the database nor why.
void DatabaseCallHistory::trace(const QString& what, const QString& storeError)
{
    const QString line =
        QStringLiteral("%1 \"%2\": %3").arg(what, withoutPassword(m_state.urlSettings.path3), storeError);
    std::fprintf(stderr, "chakushin: %s\n", qPrintable(line));
    DebugLog(m_state, line);
}

void DatabaseCallHistory::showUnusable()
{
    m_boxes.show(QStringLiteral("Accessデータベースが使用できません。"), m_state.systemSettings.appName,
                 MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
}

qint64 DatabaseCallHistory::keep(HistoryRow row)
{
    row.spoolId = m_spool.add(row);
    row.spoolFile = row.spoolId != 0 ? m_spool.path() : QString();
    if (row.spoolId == 0)
        DebugLog(m_state, QStringLiteral("history row kept in memory only: %1").arg(m_spool.lastError()));
    remember(row);
    const qint64 key = m_nextKey++;
    m_entries.emplace(key, Entry{std::move(row)});
    return key;
}

namespace {

// As far as an announcement carries the number.
QString callKey(const QString& number, const QDateTime& calldate)
{
    return calldate.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + number.left(kAnnouncedNumberLength);
}

} // namespace

void DatabaseCallHistory::remember(const HistoryRow& row)
{
    m_keptCalls.push_back(callKey(row.number, row.calldate));
    if (m_keptCalls.size() > kKeptCallsRemembered)
        m_keptCalls.pop_front();
}

bool DatabaseCallHistory::keptHere(const QString& number, const QDateTime& calldate) const
{
    return std::find(m_keptCalls.begin(), m_keptCalls.end(), callKey(number, calldate)) != m_keptCalls.end();
}

void DatabaseCallHistory::journal(const QString& number, const QDateTime& calldate)
{
    keep(HistoryRow{number, calldate});
}

// The oldest kept row of this call that no earlier call has taken.
qint64 DatabaseCallHistory::claim(const QString& number, const QDateTime& calldate)
{
    for (auto& [key, entry] : m_entries) {
        if (!entry.claimed && !entry.submitted && entry.row.number == number && entry.row.calldate == calldate) {
            entry.claimed = true;
            return key;
        }
    }
    return 0;
}

qint64 DatabaseCallHistory::request(std::function<void(HistoryWriter&)> work)
{
    QMetaObject::invokeMethod(
        m_writer, [writer = m_writer, work = std::move(work)] { work(*writer); }, Qt::QueuedConnection);
    return ++m_requests;
}

qint64 DatabaseCallHistory::submitUpTo(qint64 key)
{
    qint64 last = 0;
    for (auto& [k, entry] : m_entries) {
        if (k > key)
            break;
        if (entry.submitted)
            continue;
        entry.submitted = true;
        last = request([key = k, row = entry.row, target = m_state.urlSettings.path3](HistoryWriter& writer) {
            writer.submit(key, row, target);
        });
    }
    return last;
}

bool DatabaseCallHistory::waitForAnswer(qint64 requestNumber)
{
    const auto answered = [&] {
        return m_answers >= requestNumber;
    };
    // While the writer is held up, later calls do not wait for it as well.
    const QDeadlineTimer deadline(m_stalled ? std::chrono::milliseconds(0) : m_writeWait);
    while (!answered() && !deadline.hasExpired()) {
        QEventLoop loop;
        m_waits.push_back(&loop);
        QTimer::singleShot(std::max<qint64>(0, deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
        m_waits.erase(std::find(m_waits.begin(), m_waits.end(), &loop));
    }
    if (!answered())
        m_stalled = true;
    return answered();
}

void DatabaseCallHistory::received(const HistoryReport& report)
{
    ++m_answers;
    m_stalled = false;
    m_retrying = report.retrying;
    m_lastError = report.error;
    bool written = false;
    for (const auto& [key, outcome] : report.settled) {
        written = written || outcome == HistoryStore::Outcome::Written;
        const auto entry = m_entries.find(key);
        if (entry == m_entries.end())
            continue;
        if (entry->second.awaited)
            m_outcomes[key] = outcome;
        else if (outcome == HistoryStore::Outcome::Refused)
            trace(QStringLiteral("waiting history row %1 refused and dropped by").arg(entry->second.row.number),
                  report.error);
        m_entries.erase(entry);
    }
    if (report.waiting > 0)
        trace(QStringLiteral("%1 waiting history rows not written to").arg(report.waiting), report.error);
    for (QEventLoop* wait : m_waits)
        wait->quit();
    if (written && m_written)
        m_written();
}

bool DatabaseCallHistory::drainSpool()
{
    submitUpTo(m_nextKey);
    waitForAnswer(request([target = m_state.urlSettings.path3](HistoryWriter& writer) { writer.drain(target); }));
    return m_entries.empty();
}

void DatabaseCallHistory::WriteCallHistory(const QString& number, const QDateTime& calldate)
{
    qint64 key = claim(number, calldate);
    if (key == 0)
        key = keep(HistoryRow{number, calldate});
    m_entries[key].awaited = true;
    // The rows still waiting go first, so the history keeps the order of the calls.
    const bool answered = waitForAnswer(submitUpTo(key));
    const auto settled = m_outcomes.find(key);
    if (settled != m_outcomes.end()) {
        const HistoryStore::Outcome outcome = settled->second;
        m_outcomes.erase(settled);
        if (outcome == HistoryStore::Outcome::Written)
            return;
        // Writing it again could never succeed; keeping it would hold up every later row.
        trace(QStringLiteral("history not written to"), m_lastError);
    } else {
        m_entries[key].awaited = false;
        trace(answered ? QStringLiteral("history not written to") : QStringLiteral("history write not finished in"),
              answered ? m_lastError : QStringLiteral("no answer within %1 ms").arg(m_writeWait.count()));
    }
    showUnusable();
}
