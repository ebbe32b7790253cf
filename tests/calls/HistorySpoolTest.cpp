// Fault drills: each breaks the database during calls and mends it; every call's row ends up once, in order, timed.

#include "calls/HistorySpool.h"
#include "calls/DatabaseCallHistory.h"
#include "calls/SqliteHistoryStore.h"
#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StandbyDesk.h"
#include "support/TempAppDir.h"
#include "ui/QtMessageBoxes.h"

#include "AdapterSimulator.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <iostream>
#include <utility>
#include <vector>

#include <sys/mount.h>

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
        rows.emplace_back(callNumber(n), SqliteHistoryStore::dateTimeText(callTime(n)));
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

    // A standby desk in a process of its own, its adapter `sim` here; every fsync takes 10 ms if `slowDisk`.
    std::unique_ptr<QProcess> startDesk(AdapterSimulator& sim, bool watchdog = false, bool slowDisk = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (slowDisk) {
            env.insert("LD_PRELOAD", QStringLiteral(CHAKUSHIN_SLOW_FSYNC));
            // A sanitized build wants its runtime first; the preloaded library uses none of it.
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        }
        StandbyDesk::configure(state, sim.portPath(), dbPath, false);
        std::unique_ptr<QProcess> desk = startRole(watchdog ? "watched-desk" : "desk", dir.path(), env);
        EXPECT_TRUE(waitForLine(*desk, "standing by")) << "the desk did not start";
        return desk;
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

std::unique_ptr<AdapterSimulator> simulatorFor(const TempAppDir& dir)
{
    dir.copyShippedSettings();
    return std::make_unique<AdapterSimulator>(AdapterSimProfile::load(dir.settingsPath(), "CTI-INS100"));
}

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
    for (const auto& [mode, trials] : {std::pair{"delete", 5}, {"truncate", 3}, {"persist", 3}, {"wal", 10}}) {
        SCOPED_TRACE(mode);
        const auto fresh = [&, mode = QString::fromLatin1(mode)] {
            for (const QString& file : QDir(dir.path()).entryList({"cti.mdb*"}))
                QFile::remove(dir.filePath(file));
            if (!createHistoryDatabase(dbPath))
                return false;
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "journal-mode");
            db.setDatabaseName(dbPath);
            QSqlQuery pragma(db.open() ? db : QSqlDatabase());
            const bool set =
                pragma.exec("PRAGMA journal_mode = " + mode) && pragma.next() && pragma.value(0).toString() == mode;
            pragma.finish();
            db.close();
            return set;
        };
        killDuringFlushes(
            QStringLiteral(CHAKUSHIN_EXECUTABLE), state, dbPath, fresh, [&] { return numbersInHistory(); }, 1200,
            trials);
        QSqlDatabase::removeDatabase("journal-mode");
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
        QFile::remove(HistorySpool::pathIn(dir.path()));
        ASSERT_TRUE(ending.historyAway || createHistoryDatabase(dbPath));
        std::unique_ptr<QProcess> running = startDesk(*sim);
        const QString before = SqliteHistoryStore::dateTimeText(QDateTime::currentDateTime().addSecs(-1));
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
        const qsizetype kept = (ending.historyAway ? 0 : numbersInHistory().size()) + spooledOnDisk();
        EXPECT_TRUE(!ending.historyAway || kept == ending.calls) << kept;

        ASSERT_TRUE(!ending.historyAway || createHistoryDatabase(dbPath));
        startProgramUntil(std::size_t(kept));
        EXPECT_EQ(numbersInHistory(), calls.first(kept));
        for (const auto& [number, calldate] : historyRows(dbPath))
            EXPECT_GE(calldate, before);
        EXPECT_EQ(spooledOnDisk(), 0);
    }
}

// A burst on a 10 ms-fsync disk as the watchdog polls, its answer behind the calls: standby kept, each call once.
TEST_F(HistorySpoolTest, BurstOnASlowDiskKeepsStandby)
{
    auto sim = simulatorFor(dir);
    ASSERT_TRUE(createHistoryDatabase(dbPath));
    std::unique_ptr<QProcess> running = startDesk(*sim, true, true);
    QStringList burst;
    QObject::connect(sim.get(), &AdapterSimulator::commandReceived, [&] {
        // As many as the line holds unread; the answer to the poll goes out after them.
        for (int n = 1; n <= 120 && burst.size() < n; ++n) {
            burst << callNumber(n);
            sim->raiseCall(burst.last());
        }
    });
    processEventsUntil([&] { return numbersInHistory().size() == 120 && sim->commandsReceived().size() > 1; }, 120s);
    EXPECT_EQ(numbersInHistory(), burst);
    EXPECT_GE(sim->commandsReceived().size(), 2) << "the watchdog did not poll again";
    ASSERT_TRUE(killAndWait(*running, SIGTERM));
    EXPECT_EQ(running->exitCode(), 0);
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
        // The program's parts in standby, with real message boxes that nobody closes.
        QtMessageBoxes boxes;
        auto desk = std::make_unique<StandbyDesk>(argument, boxes, role == "watched-desk");
        ASSERT_TRUE(desk->isStandingBy());
        std::cout << "standing by" << std::endl;
        const int status = desk->program.runUntilUnloaded();
        desk.reset();
        std::exit(status);
    } else if (role == "call-and-hang") {
        // Three calls while the history file is missing, then waits to be killed.
        TempAppDir unused;
        SharedState state = unused.makeState();
        state.appDir = argument;
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
