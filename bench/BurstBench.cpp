// Burst: the adapter simulator writes numbered incoming-call notifications back to back,
// as fast as the pseudo-terminal takes them, and the receive path in standby catches up.
// Every call must give exactly one browser start and one history row, in order. Beside it:
// a bare reader taking the same burst from the same descriptor, the wire time of the burst
// at the profile's baud rate, and the process's peak resident memory before and after.

#include "AdapterSimulator.h"
#include "BareReader.h"
#include "BenchPauser.h"
#include "ProcessMemory.h"
#include "Samples.h"
#include "StandbyRig.h"
#include "TextTable.h"
#include "ThrowawayCluster.h"

#include "history/PostgresHistoryStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultCalls = 10000;
constexpr int kQuickCalls = 500;
constexpr int kWarmUpCalls = 10;
// The burst may take minutes; it has stalled only when no row at all comes for this long.
constexpr auto kStallPatience = 30s;
constexpr auto kFloorPatience = 10s;
const QString kModel = QStringLiteral("CTI-INS100");
const QString kDatabase = QStringLiteral("burst");

QString callNumber(int index)
{
    return QStringLiteral("03%1").arg(index, 8, 10, QLatin1Char('0'));
}

// The call index in a number made by callNumber, or -1.
int callIndex(QStringView number)
{
    bool ok = false;
    const int index = number.mid(2).toInt(&ok);
    return ok && number.startsWith(u"03") ? index : -1;
}

// The call numbers of the history table, in the order the rows were added.
std::vector<int> readHistoryIndices(const QString& path, QString& error)
{
    std::vector<int> indices;
    const QString connection = QStringLiteral("bench-read-back");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("SELECT telnum FROM history ORDER BY id")))
                error = query.lastError().text();
            while (query.next())
                indices.push_back(callIndex(query.value(0).toString()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return indices;
}

// The same, from the PostgreSQL history.
std::vector<int> readHistoryIndices(ThrowawayCluster& cluster, QString& error)
{
    std::vector<int> indices;
    QList<QStringList> rows;
    if (!cluster.query(kDatabase, QStringLiteral("SELECT telnum FROM history ORDER BY id"), &rows))
        error = cluster.error();
    for (const QStringList& row : rows)
        indices.push_back(callIndex(row.value(0)));
    return indices;
}

// Describes how `got` differs from 0, 1, ..., expected - 1; empty when it does not.
QString compareWithSequence(const std::vector<int>& got, int expected)
{
    std::vector<int> seen(std::size_t(expected), 0);
    int foreign = 0;
    int outOfOrder = 0;
    int previous = -1;
    for (const int index : got) {
        if (index < 0 || index >= expected) {
            ++foreign;
            continue;
        }
        ++seen[std::size_t(index)];
        if (index < previous)
            ++outOfOrder;
        previous = index;
    }
    int missing = 0;
    int doubled = 0;
    for (const int count : seen) {
        missing += count == 0 ? 1 : 0;
        doubled += count > 1 ? count - 1 : 0;
    }
    if (missing == 0 && doubled == 0 && foreign == 0 && outOfOrder == 0 && int(got.size()) == expected)
        return {};
    return QStringLiteral("%1 of %2: %3 missing, %4 doubled, %5 out of order, %6 foreign")
        .arg(got.size())
        .arg(expected)
        .arg(missing)
        .arg(doubled)
        .arg(outOfOrder)
        .arg(foreign);
}

QString kib(long long value)
{
    return value < 0 ? QStringLiteral("-") : QString::number(value);
}

/// The adapter on a thread of its own, so that it can go on writing while the program is
/// busy with the calls it has already received.
class AdapterThread
{
public:
    explicit AdapterThread(const QString& model)
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        QMetaObject::invokeMethod(
            &m_context,
            [this, model] {
                m_sim = std::make_unique<AdapterSimulator>(
                    AdapterSimProfile::load(StandbyRig::shippedSettingsPath(), model));
                QObject::connect(m_sim.get(), &AdapterSimulator::logged, m_sim.get(), [this](const QString& line) {
                    if (line.startsWith(QLatin1String("-- write to the pseudo-terminal failed")))
                        ++m_writeFailures;
                });
            },
            Qt::BlockingQueuedConnection);
    }

    ~AdapterThread()
    {
        QMetaObject::invokeMethod(
            &m_context, [this] { m_sim.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }

    bool isValid() const { return m_sim->isValid(); }
    QString portPath() const { return m_sim->portPath(); }

    /// Starts writing calls `first` to `first + count - 1` back to back and returns at once.
    void startBurst(int first, int count)
    {
        m_done = false;
        QMetaObject::invokeMethod(&m_context, [this, first, count] {
            for (int i = first; i < first + count; ++i)
                m_sim->raiseCall(callNumber(i));
            m_doneAt = Clock::now();
            m_done = true;
        });
    }

    /// Writes one call and returns once it has been written.
    void raiseCall(int index)
    {
        QMetaObject::invokeMethod(
            &m_context, [this, index] { m_sim->raiseCall(callNumber(index)); }, Qt::BlockingQueuedConnection);
    }

    bool isDone() const { return m_done; }
    Clock::time_point doneAt() const { return m_doneAt; }
    int writeFailures() const { return m_writeFailures; }

private:
    QThread m_thread;
    QObject m_context;
    std::unique_ptr<AdapterSimulator> m_sim;
    std::atomic<bool> m_done{false};
    Clock::time_point m_doneAt;
    std::atomic<int> m_writeFailures{0};
};

} // namespace

int main(int argc, char* argv[])
{
    // A program that starts and ends at once stands in for the browser.
    qputenv("BROWSER", "/bin/true");
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A burst of incoming calls through the receive path."));
    parser.addHelpOption();
    const QCommandLineOption callsOption(QStringLiteral("calls"), QStringLiteral("Notifications in the burst."),
                                         QStringLiteral("n"), QString::number(kDefaultCalls));
    const QCommandLineOption quickOption(QStringLiteral("quick"), QStringLiteral("A small burst, for development."));
    const QCommandLineOption postgresOption(QStringLiteral("postgres"),
                                            QStringLiteral("The history on a throwaway PostgreSQL server."));
    parser.addOptions({callsOption, quickOption, postgresOption});
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const int calls =
        std::max(1, parser.isSet(callsOption) || !quick ? parser.value(callsOption).toInt() : kQuickCalls);

    ThrowawayCluster cluster; // outlives the program's connection to it
    AdapterThread adapter(kModel);
    BenchPauser pauser;
    StandbyRig rig(kModel, pauser);
    if (!adapter.isValid()) {
        printLine(QStringLiteral("SUMMARY burst: FAILED: no pseudo-terminal"));
        return 1;
    }
    const bool onPostgres = parser.isSet(postgresOption);
    const QString label = onPostgres ? QStringLiteral("burst postgres") : QStringLiteral("burst");
    QString historyPath;
    if (onPostgres) {
        historyPath = cluster.uri(kDatabase);
        if (!cluster.start() || !cluster.createDatabase(kDatabase) || !createPostgresHistoryTable(historyPath)) {
            printLine(QStringLiteral("SUMMARY %1: FAILED: no server: %2").arg(label, cluster.error()));
            return 1;
        }
    }
    const QString error = rig.startStandby(adapter.portPath(), historyPath);
    if (!error.isEmpty()) {
        printLine(QStringLiteral("SUMMARY %1: FAILED: %2").arg(label, error));
        return 1;
    }
    const int total = kWarmUpCalls + calls;
    std::vector<int> launched;
    launched.assign(std::size_t(total), 0); // resident before the memory is measured
    launched.clear();
    const QString urlPrefix = QString::fromLatin1(StandbyRig::kUrlPrefix);
    rig.launcher.setObserver([&](const QString& url) {
        launched.push_back(url.startsWith(urlPrefix) ? callIndex(QStringView(url).mid(urlPrefix.size())) : -1);
    });
    rig.launcher.reserve(std::size_t(total));
    rig.history.reserve(std::size_t(total));

    // The floor: the same burst taken from the same descriptor by a bare reader.
    const Clock::time_point floorStart = Clock::now();
    adapter.startBurst(0, calls);
    const BareReader::Result floor =
        BareReader::readNotifications(int(rig.program.comm.MSComm1.handle()), '\r', '\n', calls, kFloorPatience);
    while (!adapter.isDone())
        QThread::msleep(1);
    const auto floorTime = floor.terminatorAt - floorStart;
    const qsizetype notificationBytes = floor.bytes / calls;

    // Warm-up calls one at a time: the SQLite driver and the first process start are loaded
    // before memory is measured.
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    guard.setInterval(kStallPatience);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::size_t target = 0;
    rig.history.setObserver([&](const QString&) {
        guard.start();
        if (rig.history.count() >= target)
            loop.quit();
    });
    const auto runUntil = [&](std::size_t rows) {
        target = rows;
        guard.start();
        while (rig.history.count() < rows && guard.isActive())
            loop.exec();
        guard.stop();
    };
    for (int i = 0; i < kWarmUpCalls; ++i) {
        adapter.raiseCall(i);
        runUntil(std::size_t(i + 1));
    }

    const ProcessMemory before = ProcessMemory::now();
    const Clock::time_point start = Clock::now();
    adapter.startBurst(kWarmUpCalls, calls);
    runUntil(std::size_t(total));
    const ProcessMemory after = ProcessMemory::now();
    const bool finished = rig.history.count() == std::size_t(total);
    const auto programTime =
        (rig.history.count() > std::size_t(kWarmUpCalls) ? rig.history.last() : Clock::now()) - start;
    // Let a late duplicate show up before the count is taken.
    QTimer::singleShot(200ms, &loop, &QEventLoop::quit);
    loop.exec();

    QString readError;
    const std::vector<int> rows =
        onPostgres ? readHistoryIndices(cluster, readError) : readHistoryIndices(rig.databasePath(), readError);
    QStringList problems;
    if (!floor.complete)
        problems << QStringLiteral("the bare reader did not see the whole burst");
    if (!finished)
        problems << QStringLiteral("the program stalled after %1 rows").arg(rig.history.count());
    if (!readError.isEmpty())
        problems << QStringLiteral("history not readable: ") + readError;
    if (const QString diff = compareWithSequence(launched, total); !diff.isEmpty())
        problems << QStringLiteral("browser starts ") + diff;
    if (const QString diff = compareWithSequence(rows, total); !diff.isEmpty())
        problems << QStringLiteral("history rows ") + diff;
    if (!rig.boxes.shown.isEmpty())
        problems << QStringLiteral("%1 messages, first: %2").arg(rig.boxes.shown.size()).arg(rig.boxes.shown.first());
    if (adapter.writeFailures() > 0)
        problems << QStringLiteral("the adapter could not write %1 times").arg(adapter.writeFailures());

    const auto perSecond = [&](std::chrono::nanoseconds time) {
        return time.count() > 0 ? QString::number(calls / std::chrono::duration<double>(time).count(), 'f', 1)
                                : QStringLiteral("-");
    };
    const auto seconds = [](std::chrono::nanoseconds time) {
        return QString::number(std::chrono::duration<double>(time).count(), 'f', 3);
    };
    // Where a call's time goes inside the burst: from the previous row to this browser
    // start, and from there to this row.
    Samples launchSteps;
    Samples rowSteps;
    for (std::size_t i = std::size_t(kWarmUpCalls) + 1; i < rig.history.count() && i < rig.launcher.count(); ++i) {
        launchSteps.add(rig.launcher.at(i) - rig.history.at(i - 1));
        rowSteps.add(rig.history.at(i) - rig.launcher.at(i));
    }
    const auto wire = rig.wireTime(notificationBytes * calls);
    TextTable table(
        {QStringLiteral("measured"), QStringLiteral("calls"), QStringLiteral("seconds"), QStringLiteral("calls/s")});
    table.addRow({QStringLiteral("floor: bare reader on the port"), QString::number(calls), seconds(floorTime),
                  perSecond(floorTime)});
    table.addRow({QStringLiteral("program: browser start + durable row each"), QString::number(calls),
                  seconds(programTime), perSecond(programTime)});
    table.addRow({QStringLiteral("  per call, p50 ms: previous row to browser started"), QString(),
                  milliseconds(launchSteps.p50())});
    table.addRow({QStringLiteral("  per call, p50 ms: browser started to row durable"), QString(),
                  milliseconds(rowSteps.p50())});
    table.addRow({QStringLiteral("  adapter done writing (held back by the full line)"), QString(),
                  seconds(adapter.doneAt() - start)});
    table.addRow({QStringLiteral("wire: %1 bytes a call at %2 baud").arg(notificationBytes).arg(rig.baudRate()),
                  QString::number(calls), seconds(wire), perSecond(wire)});
    printLine(QString());
    table.print(QStringLiteral("Burst of %1 %2 notifications written back to back, the history %3")
                    .arg(calls)
                    .arg(kModel, onPostgres ? QStringLiteral("on PostgreSQL") : QStringLiteral("in SQLite")));

    TextTable memory({QStringLiteral("memory, KiB"), QStringLiteral("before burst"), QStringLiteral("after burst")});
    memory.addRow({QStringLiteral("peak resident (VmHWM)"), kib(before.peakResidentKiB), kib(after.peakResidentKiB)});
    memory.addRow({QStringLiteral("peak resident (ru_maxrss)"), kib(before.maxRssKiB), kib(after.maxRssKiB)});
    memory.addRow({QStringLiteral("resident now (VmRSS)"), kib(before.residentKiB), kib(after.residentKiB)});
    printLine(QString());
    memory.print(QStringLiteral("Memory of the process"));

    for (const QString& problem : problems)
        printLine(QStringLiteral("  problem: ") + problem);
    printLine(QString());
    printLine(QStringLiteral("SUMMARY %10: %1 calls %2 (%3 browser starts, %4 rows, in order), %5 calls/s "
                             "(floor %6/s, wire limit %7/s), peak RSS %8 -> %9 KiB")
                  .arg(calls)
                  .arg(problems.isEmpty() ? QStringLiteral("lossless PASS") : QStringLiteral("FAIL"))
                  .arg(qsizetype(launched.size()) - kWarmUpCalls)
                  .arg(qsizetype(rows.size()) - kWarmUpCalls)
                  .arg(perSecond(programTime), perSecond(floorTime), perSecond(wire), kib(before.peakResidentKiB),
                       kib(after.peakResidentKiB), label));
    return problems.isEmpty() ? 0 : 1;
}
