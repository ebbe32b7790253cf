// Fault drills: each breaks the database during calls and mends it; every call's row ends up once, in order, timed.

#include "history/HistorySpool.h"
#include "history/DatabaseCallHistory.h"
#include "history/HistoryDatabase.h"
#include "history/SpoolLock.h"
#include "history/SqliteHistoryStore.h"
#include "link/AdapterConversation.h"
#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/ProgramProcess.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"
#include "support/TestDesk.h"
#include "ui/QtMessageBoxes.h"

#include "AdapterSimulator.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <iostream>
#include <numeric>
#include <utility>
#include <vector>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#ifndef CHAKUSHIN_EXECUTABLE
#error "CHAKUSHIN_EXECUTABLE must name the program"
#endif

using namespace std::chrono_literals;

namespace {

const QString kUnusable = "Accessデータベースが使用できません。";

QDateTime callTime(int n)
{
    return QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0)).addSecs(n * 61);
}

QString callNumber(int n)
{
    return QStringLiteral("03%1").arg(n, 8, 10, QLatin1Char('0'));
}

std::vector<std::pair<QString, QString>> expectedRows(int calls)
{
    std::vector<std::pair<QString, QString>> rows;
    for (int n = 1; n <= calls; ++n)
        rows.emplace_back(callNumber(n), HistoryDatabase::dateTimeText(callTime(n)));
    return rows;
}

// This test binary started again in one of the roles below, so that a lock or a kill is another process's.
std::unique_ptr<QProcess> startRole(const char* role, const QString& argument,
                                    QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    auto child = std::make_unique<QProcess>();
    env.insert("CHAKUSHIN_HISTORY_ROLE", QString::fromLatin1(role));
    env.insert("CHAKUSHIN_HISTORY_ARGUMENT", argument);
    child->setProcessEnvironment(env);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(),
                 {"--gtest_also_run_disabled_tests", "--gtest_filter=HistoryRole.*"});
    return child;
}

bool waitForLine(QProcess& child, const QByteArray& line)
{
    while (child.waitForReadyRead(10000))
        if (child.readAll().contains(line))
            return true;
    return false;
}

bool killAndWait(QProcess& child, int signal)
{
    ::kill(pid_t(child.processId()), signal);
    return child.waitForFinished(10000);
}

// What a desk under a drill tells on its standard output: every 50 ms a tick with the time (so whether its event loop
// runs), its state code and each page opened since; and each box it was shown, answered at once.
struct DrillLog
{
    std::vector<qint64> ticks, pagedAt;
    QStringList pages, boxes;
    int appState = 0;
    QByteArray pending;

    void read(QProcess& desk)
    {
        pending += desk.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QStringList words = QString::fromUtf8(pending.left(end)).split(u' ');
            if (words[0] == u"tick")
                ticks.push_back(words.value(1).toLongLong()), appState = words.value(2).toInt();
            else if (words[0] == u"page")
                pages << words.value(1), pagedAt.push_back(words.value(2).toLongLong());
            else if (words[0] == u"box")
                boxes << words.mid(1).join(u' ');
        }
    }
    qint64 longestTickGap() const
    {
        std::vector<qint64> gaps(ticks.size());
        std::adjacent_difference(ticks.begin(), ticks.end(), gaps.begin());
        return gaps.size() < 2 ? 0 : *std::max_element(gaps.begin() + 1, gaps.end());
    }
};

std::unique_ptr<AdapterSimulator> simulatorFor(const TempAppDir& dir)
{
    dir.copyShippedSettings();
    return std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), "CTI-INS100"));
}

class HistorySpoolTest : public ::testing::Test
{
protected:
    HistorySpoolTest()
    {
        state.systemSettings.appName = "着信テスト";
        state.urlSettings.path3 = dbPath;
    }

    // A short lock wait keeps the locked drill quick; the product waits 2 s.
    static DatabaseCallHistory::StoreFactory impatient()
    {
        return [](const QString& path) {
            return std::make_unique<SqliteHistoryStore>(path, 100ms);
        };
    }

    int spooledOnDisk() const { return int(HistorySpool(HistorySpool::pathIn(state.appDir)).waiting().size()); }

    // Two calls, fault, three calls, mend, one call; each waiting row kept (on disk if it can) before its message.
    void drill(const std::function<void()>& breakIt, const std::function<void()>& mendIt, bool spoolFile = true)
    {
        ASSERT_TRUE(createHistoryDatabase(dbPath));
        DatabaseCallHistory history(state, boxes, impatient());
        history.WriteCallHistory(callNumber(1), callTime(1));
        history.WriteCallHistory(callNumber(2), callTime(2));
        breakIt();
        int waitingWhenShown = 0;
        boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
            waitingWhenShown = spoolFile ? spooledOnDisk() : history.spooledRows();
        };
        for (int n = 3; n <= 5; ++n) {
            history.WriteCallHistory(callNumber(n), callTime(n));
            EXPECT_EQ(waitingWhenShown, n - 2) << "the row must be kept before the message";
        }
        EXPECT_TRUE(history.retrying());
        mendIt();
        history.WriteCallHistory(callNumber(6), callTime(6));

        ASSERT_EQ(boxes.shown.size(), 3u);
        for (const auto& box : boxes.shown)
            EXPECT_TRUE(box.text.startsWith(kUnusable + u'\n')) << box.text.toStdString();
        EXPECT_EQ((std::tuple{historyRows(dbPath), history.spooledRows(), spooledOnDisk(), history.retrying()}),
                  std::tuple(expectedRows(6), 0, 0, false));
    }

    // The real program started, no adapter: it writes what the spool holds first; killed once `rows` rows are there.
    void startProgramUntil(std::size_t rows)
    {
        ProgramWithoutAdapter program(QStringLiteral(CHAKUSHIN_EXECUTABLE), state, dbPath);
        const QDeadlineTimer deadline(20s);
        while (historyRows(dbPath).size() < rows && !deadline.hasExpired() &&
               program.process.state() == QProcess::Running)
            QThread::msleep(50);
        QThread::msleep(300); // time enough to write a row twice
    }

    // A drill (see DrillLog): a delay of every fsync (none when negative), a file while which the history's commits
    // stall, the retry's interval.
    struct DeskOptions
    {
        bool watchdog = false;
        int fsyncDelayMs = -1;
        QString stallWhile = {};
        std::chrono::milliseconds retry{0};
    };

    // A standby desk in a process of its own, its adapter `sim` here; under a drill when one is given.
    std::unique_ptr<QProcess> startDesk(AdapterSimulator& sim, const DeskOptions* drill = nullptr)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (drill) {
            if (drill->fsyncDelayMs >= 0 || !drill->stallWhile.isEmpty())
                env.insert("LD_PRELOAD", QStringLiteral(CHAKUSHIN_SLOW_FSYNC));
            env.insert("CHAKUSHIN_FSYNC_DELAY_MS", QString::number(std::max(0, drill->fsyncDelayMs)));
            env.insert("CHAKUSHIN_FSYNC_STALL_WHILE", drill->stallWhile);
            env.insert("CHAKUSHIN_FSYNC_STALL_MATCH", QFileInfo(dbPath).fileName());
            // A sanitized build wants its runtime first; the preloaded library uses none of it.
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
            env.insert("CHAKUSHIN_DRILL", QString::number(drill->retry.count()));
        }
        dir.writeKeys(TestDesk::historyIni(dbPath, drill != nullptr) + "[PORTS]\nCOM3=" + sim.portPath().toUtf8());
        std::unique_ptr<QProcess> desk = startRole(drill && drill->watchdog ? "watched-desk" : "desk", dir.path(), env);
        EXPECT_TRUE(waitForLine(*desk, "standing by")) << "the desk did not start";
        return desk;
    }

    // A drill desk on a new history file, with a stall's file made when it has one; `ring` waits for the call's page.
    struct Drill
    {
        std::unique_ptr<AdapterSimulator> sim;
        std::unique_ptr<QProcess> desk;
        DrillLog log = {};
        QStringList rung = {};

        bool until(const std::function<bool()>& done, std::chrono::milliseconds patience = 20s)
        {
            return processEventsUntil([&] { return log.read(*desk), done(); }, patience);
        }
        bool ring(int n)
        {
            sim->raiseCall(rung.emplaceBack(callNumber(n)));
            return until([&] { return log.pages.size() == n; });
        }
    };
    Drill startDrill(const DeskOptions& options)
    {
        EXPECT_TRUE(createHistoryDatabase(dbPath));
        Drill drill{simulatorFor(dir), nullptr};
        drill.desk = startDesk(*drill.sim, &options);
        if (!options.stallWhile.isEmpty())
            QFile(options.stallWhile).open(QIODevice::WriteOnly);
        return drill;
    }

    // Waits (processing events, so that the simulator answers) until the spool holds `count` rows.
    bool spooled(int count)
    {
        return processEventsUntil([&] { return spooledOnDisk() == count; }, 20s);
    }

    // The numbers of the rows in the history, in order.
    QStringList numbersInHistory() const
    {
        QStringList numbers;
        for (const auto& [number, calldate] : historyRows(dbPath))
            numbers << number;
        return numbers;
    }

    TempAppDir dir;
    QString dbPath = dir.filePath("cti.mdb");
    SharedState state = dir.makeState();
    ScriptedMessageBoxes boxes;
};

} // namespace

// The history file renamed away during a run of calls and back again.
TEST_F(HistorySpoolTest, FileMovedAwayAndBack)
{
    const QString away = dbPath + ".away";
    drill([&] { ASSERT_TRUE(QFile::rename(dbPath, away)); }, [&] { ASSERT_TRUE(QFile::rename(away, dbPath)); });
}

// Another process holds the history file's write lock during a run of calls, then lets go.
TEST_F(HistorySpoolTest, FileLockedByAnotherProcess)
{
    std::unique_ptr<QProcess> locker;
    drill(
        [&] {
            locker = startRole("lock", dbPath);
            ASSERT_TRUE(waitForLine(*locker, "locked")) << "the lock holder did not start";
        },
        [&] {
            locker->closeWriteChannel();
            ASSERT_TRUE(locker->waitForFinished(10000));
        });
}

// A small file system of its own for the database, filled up; needs the right to mount one.
TEST_F(HistorySpoolTest, FileOnAFullFileSystem)
{
    const QString mountPoint = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });
    dbPath = mountPoint + "/cti.mdb";
    state.urlSettings.path3 = dbPath;
    const QString filler = mountPoint + "/filler";
    drill(
        [&] {
            QFile file(filler);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            const QByteArray block(4096, 'x');
            while (file.write(block) == block.size() && file.flush()) {
            }
        },
        [&] { ASSERT_TRUE(QFile::remove(filler)); });
}

// The program killed with rows still waiting: the next start writes them, once (started twice, no adapter).
TEST_F(HistorySpoolTest, RowsOutliveAKill)
{
    std::unique_ptr<QProcess> calling = startRole("call-and-hang", dir.path());
    ASSERT_TRUE(waitForLine(*calling, "waiting 3")) << "the calling process did not get that far";
    ASSERT_TRUE(killAndWait(*calling, SIGKILL));
    EXPECT_EQ(calling->exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(createHistoryDatabase(dbPath));
    dir.copyShippedSettings();
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        startProgramUntil(3);
        EXPECT_EQ((std::pair{historyRows(dbPath), spooledOnDisk()}), std::pair(expectedRows(3), 0));
    }
}

// Killed at random moments while 1200 waiting rows are written (three commits of the store's), in each journal mode a
// history file can be in: the next run writes what is left, none twice.
TEST_F(HistorySpoolTest, KilledDuringAFlush)
{
    // A kill falls between two commits by chance: enough trials in each mode that one does, on a busy machine too.
    for (const auto& [mode, trials] : {std::pair{"delete", 5}, {"truncate", 5}, {"persist", 5}, {"wal", 10}}) {
        SCOPED_TRACE(mode);
        const auto fresh = [&, mode = QString::fromLatin1(mode)] {
            for (const QString& file : QDir(dir.path()).entryList({"cti.mdb*"}))
                QFile::remove(dir.filePath(file));
            return createHistoryDatabase(dbPath) && runSql(dbPath, "PRAGMA journal_mode = " + mode) == mode;
        };
        killDuringFlushes(
            QStringLiteral(CHAKUSHIN_EXECUTABLE), state, dbPath, fresh, [&] { return numbersInHistory(); }, 1200,
            trials);
    }
}

// The desk ended with calls waiting (6 behind a box, killed or logged out; 40 killed mid-burst): each written once.
TEST_F(HistorySpoolTest, CallsReadOutliveTheEnd)
{
    // clang-format off
    struct Ending { int signal; bool historyAway; int calls; }; // historyAway: every call stops at a message box
    // clang-format on
    for (const Ending ending :
         {Ending{SIGKILL, true, 6}, Ending{SIGTERM, true, 6}, Ending{SIGKILL, false, 40}, Ending{SIGKILL, false, 40}}) {
        SCOPED_TRACE(testing::Message() << ending.signal << (ending.historyAway ? " behind a box" : " in a burst"));
        auto sim = simulatorFor(dir);
        QFile::remove(dbPath);
        for (const char* part : {"", "-wal", "-shm"}) // a killed desk leaves its log behind
            QFile::remove(HistorySpool::pathIn(dir.path()) + part);
        ASSERT_TRUE(ending.historyAway || createHistoryDatabase(dbPath));
        std::unique_ptr<QProcess> running = startDesk(*sim);
        const QString before = HistoryDatabase::dateTimeText(QDateTime::currentDateTime().addSecs(-1));
        QStringList calls;
        for (int n = 1; n <= ending.calls; ++n) {
            calls << callNumber(n);
            sim->raiseCall(calls.last());
            ASSERT_TRUE(!ending.historyAway || spooled(n));
        }
        QTest::qWait(ending.historyAway ? 0 : QRandomGenerator::global()->bounded(50, 600));
        ASSERT_TRUE(killAndWait(*running, ending.signal));
        EXPECT_TRUE(ending.signal != SIGTERM ||
                    (running->exitStatus() == QProcess::NormalExit && running->exitCode() == 0));
        // A row committed just before the kill may still have its entry, noted, in the spool.
        const QStringList written = ending.historyAway ? QStringList() : numbersInHistory();
        QSet<QString> keptCalls(written.begin(), written.end());
        for (const HistorySpool::Entry& entry : HistorySpool(HistorySpool::pathIn(state.appDir)).waiting())
            keptCalls.insert(entry.row.number);
        const qsizetype kept = keptCalls.size();
        EXPECT_TRUE(!ending.historyAway || kept == ending.calls) << kept;

        ASSERT_TRUE(!ending.historyAway || createHistoryDatabase(dbPath));
        startProgramUntil(std::size_t(kept));
        EXPECT_EQ(numbersInHistory(), calls.first(kept));
        for (const auto& [number, calldate] : historyRows(dbPath))
            EXPECT_GE(calldate, before);
        EXPECT_EQ(spooledOnDisk(), 0);
    }
}

// A burst of 1,000 calls as the watchdog polls, its answer behind the calls, on a disk whose every fsync takes 25 ms:
// the rows lag behind, the pages do not; the window keeps its ticks, standby is kept, and each row follows once, in
// order.
TEST_F(HistorySpoolTest, BurstOnASlowDiskKeepsStandby)
{
    constexpr int kCalls = 1000;
    Drill drill = startDrill({.watchdog = true, .fsyncDelayMs = 25});
    std::vector<qint64> rungAt;
    QObject::connect(drill.sim.get(), &AdapterSimulator::commandReceived, [&] {
        for (int n = 1; n <= kCalls && drill.rung.size() < n;
             ++n, rungAt.push_back(QDateTime::currentMSecsSinceEpoch()))
            drill.sim->raiseCall(drill.rung.emplaceBack(callNumber(n)));
    });
    drill.until([&] { return numbersInHistory().size() == kCalls && drill.sim->commandsReceived().size() > 1; }, 300s);
    EXPECT_EQ((std::pair{numbersInHistory(), drill.log.pages}), std::pair(drill.rung, drill.rung));
    qint64 latest = 0;
    for (std::size_t n = 0; n < rungAt.size() && n < drill.log.pagedAt.size(); ++n)
        latest = std::max(latest, drill.log.pagedAt[n] - rungAt[n]);
    std::cout << "latest page " << latest << " ms after its ring line; longest pause of the window "
              << drill.log.longestTickGap() << " ms" << std::endl;
    // Each call waiting for its own row made the last page minutes late, the window white all along; the bounds leave
    // room for a loaded machine.
    EXPECT_LT(latest, 10000);
    EXPECT_LT(drill.log.longestTickGap(), 3000);
    EXPECT_EQ(drill.log.appState, int(AppStateCode::StandbyOn));
    EXPECT_GE(drill.sim->commandsReceived().size(), 2) << "the watchdog did not poll again";
    ASSERT_TRUE(killAndWait(*drill.desk, SIGTERM));
    EXPECT_EQ(drill.desk->exitCode(), 0);
}

// The history away, or locked by another program, through several retries, then back: one box, with the database's
// reason, for the call while it was away; none for the five calls after (the retries answered no call); every row once.
TEST_F(HistorySpoolTest, AwayThroughRetriesThenBack)
{
    const QString away = dbPath + ".away";
    std::unique_ptr<QProcess> locker;
    // clang-format off
    struct Fault { const char* name; std::function<void()> breakIt, mendIt; const char* reason; };
    const std::vector<Fault> faults = {
        {"moved away", [&] { ASSERT_TRUE(QFile::rename(dbPath, away)); }, [&] { ASSERT_TRUE(QFile::rename(away, dbPath)); }, "unable to open"},
        {"locked with BEGIN EXCLUSIVE", [&] { locker = startRole("lock", dbPath); ASSERT_TRUE(waitForLine(*locker, "locked")); },
         [&] { locker->closeWriteChannel(); ASSERT_TRUE(locker->waitForFinished(10000)); }, "database is locked"},
    };
    // clang-format on
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        QFile::remove(dbPath);
        Drill drill = startDrill({.retry = 300ms});
        ASSERT_TRUE(drill.ring(1) && drill.until([&] { return numbersInHistory().size() == 1; }));
        fault.breakIt();
        ASSERT_TRUE(drill.ring(2) && drill.until([&] { return drill.log.boxes.size() == 1; }));
        drill.until([] { return false; }, 2s); // six retries and more
        fault.mendIt();
        for (int n = 3; n <= 7; ++n)
            ASSERT_TRUE(drill.ring(n));
        ASSERT_TRUE(drill.until([&] { return numbersInHistory().size() >= 7; }));
        drill.until([] { return false; }, 500ms);
        ASSERT_EQ(drill.log.boxes.size(), 1u) << drill.log.boxes.join(u'\n').toStdString();
        EXPECT_TRUE(drill.log.boxes[0].startsWith(kUnusable + u' ' + QLatin1String(fault.reason)))
            << drill.log.boxes[0].toStdString();
        EXPECT_EQ(numbersInHistory(), drill.rung);
    }
}

// A history file on a share that stalls for 20 s in a commit while five calls come: their pages open, the window keeps
// its ticks, every call is in the spool on the disk while it lasts, no box; then every row once, in order.
TEST_F(HistorySpoolTest, ShareStallingInACommit)
{
    Drill drill = startDrill({.stallWhile = dir.filePath("stall")});
    const QDeadlineTimer stalled(20s);
    for (int n = 1; n <= 5; ++n)
        ASSERT_TRUE(drill.ring(n));
    EXPECT_TRUE(spooled(5)) << "calls held in memory only";
    const std::size_t ticksBefore = drill.log.ticks.size();
    drill.until([&] { return stalled.hasExpired(); }, 30s);
    EXPECT_TRUE(numbersInHistory().isEmpty()) << "the stall did not hold the commit";
    QFile::remove(dir.filePath("stall"));
    ASSERT_TRUE(drill.until([&] { return numbersInHistory().size() >= 5 && spooledOnDisk() == 0; }));
    EXPECT_EQ(numbersInHistory(), drill.rung);
    EXPECT_TRUE(drill.log.boxes.isEmpty()) << drill.log.boxes.join(u'\n').toStdString();
    // Ticks every 50 ms all through the stall; a frozen window would have none.
    EXPECT_GT(drill.log.ticks.size() - ticksBefore, 100u);
    EXPECT_LT(drill.log.longestTickGap(), 1000);
}

// A logout while a call waits for its row on a stalled share: the program ends at once, spinning nothing, and the row
// waits in the spool for the next start, which writes it once.
TEST_F(HistorySpoolTest, EndDuringAHistoryWait)
{
    Drill drill = startDrill({.stallWhile = dir.filePath("stall")});
    ASSERT_TRUE(drill.ring(1));
    drill.until([] { return false; }, 1s); // well inside the call's wait
    // The desk's CPU time so far (from /proc), then all of it once reaped.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(drill.desk->processId()));
    ASSERT_TRUE(stat.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    auto reaped = [children = rusage{}]() mutable {
        ::getrusage(RUSAGE_CHILDREN, &children);
        return double(children.ru_utime.tv_sec + children.ru_stime.tv_sec) +
               double(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
    };
    const double before =
        reaped() + double(fields.value(12).toLongLong() + fields.value(13).toLongLong()) / double(sysconf(_SC_CLK_TCK));
    QElapsedTimer ending;
    ending.start();
    ASSERT_TRUE(killAndWait(*drill.desk, SIGTERM));
    const qint64 took = ending.elapsed();
    const double cpu = reaped() - before;
    std::cout << "ended in " << took << " ms, " << cpu << " s of CPU after the signal" << std::endl;
    EXPECT_EQ((std::pair{drill.desk->exitStatus(), drill.desk->exitCode()}), std::pair(QProcess::NormalExit, 0));
    // Spinning until the wait's 5 s were out took seconds of CPU; the bounds leave room for a loaded machine.
    EXPECT_LT(took, 3000);
    EXPECT_LT(cpu, 1.0);
    EXPECT_EQ(spooledOnDisk(), 1);
    QFile::remove(dir.filePath("stall"));
    startProgramUntil(1);
    EXPECT_EQ((std::pair{numbersInHistory(), spooledOnDisk()}), std::pair(QStringList{callNumber(1)}, 0));
}

// Two programs started on one application directory with rows waiting: the second refuses, saying why, and no row is
// written twice.
TEST_F(HistorySpoolTest, TwoProgramsOnOneDirectory)
{
    ScriptedMessageBoxes quiet;
    QStringList calls;
    {
        SharedState away = state;
        away.urlSettings.path3 = dir.filePath("missing.mdb");
        DatabaseCallHistory waiting(away, quiet);
        for (int n = 1; n <= 300; ++n)
            waiting.journal(calls.emplaceBack(callNumber(n)), callTime(n));
    }
    ASSERT_TRUE(createHistoryDatabase(dbPath));
    dir.copyShippedSettings();
    ProgramWithoutAdapter first(QStringLiteral(CHAKUSHIN_EXECUTABLE), state, dbPath);
    ProgramWithoutAdapter second(QStringLiteral(CHAKUSHIN_EXECUTABLE), state, dbPath);
    QByteArray said;
    ASSERT_TRUE(processEventsUntil(
        [&] {
            said += first.process.readAllStandardError() + second.process.readAllStandardError();
            return said.contains("in use by another chakushin") && numbersInHistory().size() >= 300;
        },
        30s))
        << said.toStdString();
    QThread::msleep(300); // time enough to write a row twice
    EXPECT_EQ(numbersInHistory(), calls);
}

// Calls read while a box holds up their handling, the adapter's settings reloaded meanwhile (the number now comes out
// differently): each call's row is still its own, from the line as it was read, once.
TEST(HistoryIdentity, CallsHandledUnderOtherSettings)
{
    TestDesk desk({.ini = TestDesk::historyIni("{dir}/cti.mdb"), .adapter = "CTI-INS100"});
    ASSERT_TRUE(createHistoryDatabase(desk.dir.filePath("cti.mdb")));
    ASSERT_EQ(AdapterConversation(desk.state(), desk.comm(), desk.pauser).startStandby(),
              AdapterConversation::StandbyStart::Started);
    QStringList rung;
    const auto ring = [&](int n) {
        desk.sim->raiseCall(rung.emplaceBack(callNumber(n)));
    };
    desk.browser.failWithMessage = &desk.boxes;
    desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        desk.browser.failWithMessage = nullptr;
        for (int n = 2; n <= 4; ++n)
            ring(n);
        processEventsUntil([&] { return desk.program->history.spooledRows() >= 4; }, 10s);
        desk.state().adapterProfile.ring = QStringLiteral("RIN");
    };
    ring(1);
    ASSERT_TRUE(processEventsUntil([&] { return desk.browser.urls.size() == 4; }, 20s));
    ring(5);
    ASSERT_TRUE(processEventsUntil(
        [&] { return desk.browser.urls.size() == 5 && desk.program->history.spooledRows() == 0; }, 20s));
    EXPECT_EQ(desk.browser.urls.last(), "G" + callNumber(5)) << "the handling did see the new settings";
    rung.last() = desk.browser.urls.last(); // read under the new settings too
    EXPECT_EQ(runSql(desk.dir.filePath("cti.mdb"), "SELECT group_concat(telnum) FROM history"), rung.join(u','));
}

// The spool file's own rules: a change that does not touch exactly its one entry undoes its whole transaction (someone
// else has been at the file); a file of an earlier version keeps its noted writes; one program owns it at a time.
TEST(HistorySpoolFile, Rules)
{
    TempAppDir dir;
    const QString path = HistorySpool::pathIn(dir.path());
    ASSERT_TRUE(runSql(path, "CREATE TABLE spool (id INTEGER PRIMARY KEY AUTOINCREMENT, telnum TEXT NOT NULL, "
                             "calldate INTEGER NOT NULL, unsettled INTEGER NOT NULL DEFAULT 0)") &&
                runSql(path, "INSERT INTO spool (telnum, calldate, unsettled) VALUES ('0300000001', 0, 77)"));
    HistorySpool spool(path);
    const std::vector<qint64> ids = spool.add({HistoryRow{callNumber(2), callTime(2)}, {callNumber(3), callTime(3)}});
    ASSERT_EQ(ids.size(), 2u) << spool.lastError().toStdString();
    EXPECT_FALSE(spool.remove({ids[0], ids[1] + 100}));
    EXPECT_FALSE(
        spool.note({{callNumber(2), callTime(2), {"x", 7}, ids[0]}, {callNumber(9), callTime(9), {"x", 8}, 999}}));
    EXPECT_TRUE(spool.lastError().contains("0 entries changed")) << spool.lastError().toStdString();
    std::vector<HistorySpool::Entry> waiting = spool.waiting();
    ASSERT_EQ(waiting.size(), 3u);
    EXPECT_EQ((std::tuple{waiting[0].row.noted.target, waiting[0].row.noted.mark, waiting[1].row.noted.mark}),
              std::tuple(QString(), 77, 0));

    const SpoolLock owner(path);
    const SpoolLock second(path);
    const SpoolLock nowhere(dir.filePath("missing/history-spool.db"));
    EXPECT_EQ((std::tuple{owner.state(), second.state(), nowhere.state()}),
              std::tuple(SpoolLock::State::Held, SpoolLock::State::HeldElsewhere, SpoolLock::State::NoLock));
    EXPECT_TRUE(second.holder().startsWith(QStringLiteral("pid %1 on ").arg(QCoreApplication::applicationPid())))
        << second.holder().toStdString();
}

// Without a usable application directory the rows still wait, in memory, for this run.
TEST_F(HistorySpoolTest, NoSpoolFileKeepsRowsInMemory)
{
    state.appDir = dir.filePath("not-there");
    const QString away = dbPath + ".away";
    drill([&] { ASSERT_TRUE(QFile::rename(dbPath, away)); }, [&] { ASSERT_TRUE(QFile::rename(away, dbPath)); }, false);
    EXPECT_FALSE(QFileInfo::exists(state.appDir));
}

// The roles of the processes started above; they only run when started that way.
TEST(HistoryRole, DISABLED_Play)
{
    const QByteArray role = qgetenv("CHAKUSHIN_HISTORY_ROLE");
    const QString argument = qEnvironmentVariable("CHAKUSHIN_HISTORY_ARGUMENT");
    if (role == "lock") {
        // Holds the history file's write lock until its standard input is closed.
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "locker");
        db.setDatabaseName(argument);
        ASSERT_TRUE(db.open());
        QSqlQuery lock(db);
        ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE")) << lock.lastError().text().toStdString();
        std::cout << "locked" << std::endl;
        QFile in;
        ASSERT_TRUE(in.open(stdin, QIODevice::ReadOnly));
        in.readAll();
        ASSERT_TRUE(lock.exec("COMMIT"));
    } else if (role == "desk" || role == "watched-desk") {
        // The program's parts in standby, with real message boxes that nobody closes; under a drill (its value the
        // retry's interval in ms, 0 for the program's own), boxes answered at once and told, and a tick every 50 ms
        // telling the time, the state and the pages opened since (see DrillLog).
        const bool drill = qEnvironmentVariableIsSet("CHAKUSHIN_DRILL");
        QtMessageBoxes real;
        ScriptedMessageBoxes told;
        told.whileOpen = [](const ScriptedMessageBoxes::Shown& box) {
            std::cout << "box " << qPrintable(box.text.simplified()) << std::endl;
        };
        auto desk =
            std::make_unique<TestDesk>(TestDesk::Setup{.standby = true,
                                                       .watchdog = role == "watched-desk",
                                                       .sleeps = true,
                                                       .appDir = argument,
                                                       .boxes = drill ? &told : static_cast<MessageBoxes*>(&real)});
        if (const int retry = qEnvironmentVariableIntValue("CHAKUSHIN_DRILL"); retry > 0)
            desk->program->history.setRetryInterval(std::chrono::milliseconds(retry));
        QTimer ticker;
        ticker.callOnTimeout([&, pages = qsizetype(0)]() mutable {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            std::cout << "tick " << now << ' ' << int(desk->state().appState) << '\n';
            for (; pages < desk->browser.urls.size(); ++pages)
                std::cout << "page " << qPrintable(desk->browser.urls[pages].section(u'=', -1)) << ' ' << now << '\n';
            std::cout.flush();
        });
        if (drill)
            ticker.start(50);
        std::cout << "standing by" << std::endl;
        const int status = desk->program->runUntilUnloaded();
        ticker.stop();
        desk.reset();
        std::exit(status);
    } else if (role == "call-and-hang") {
        // Three calls while the history file is missing, then waits to be killed.
        SharedState state = TempAppDir(argument).makeState();
        state.urlSettings.path3 = QDir(argument).filePath("cti.mdb");
        ScriptedMessageBoxes boxes;
        DatabaseCallHistory history(state, boxes);
        for (int n = 1; n <= 3; ++n)
            history.WriteCallHistory(callNumber(n), callTime(n));
        std::cout << "waiting " << history.spooledRows() << std::endl;
        for (;;)
            QThread::sleep(1);
    }
}
