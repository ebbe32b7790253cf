// The hand-over between two real processes: this test is the running instance (or starts
// one), the program itself the second start.

#include "startup/ForegroundWindow.h"
#include "startup/SingleInstance.h"

#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <functional>

#include <gtest/gtest.h>

#ifndef CHAKUSHIN_EXECUTABLE
#error "CHAKUSHIN_EXECUTABLE must name the program"
#endif

using namespace std::chrono_literals;

namespace {

/// A private runtime directory for the instances of one test, so that tests running side by
/// side never meet each other's instance, and a desk with an adapter on a port with nothing
/// behind it: a start shows the popup of the adapter check, then waits in the adapter dialog.
struct InstanceDesk
{
    InstanceDesk()
    {
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        desk.write("[SYSTEM]\ndebugmode=True\nadapter=1\nCommPort=9\n[PORTS]\nCOM9=/nonexistent/no-adapter\n");
        // The programs started here own the directory, not this process.
        desk.program.reset();
    }
    ~InstanceDesk() { qunsetenv("XDG_RUNTIME_DIR"); }

    /// Starts the program on this desk.
    void start(QProcess& program, const QStringList& more = {}) const
    {
        program.start(CHAKUSHIN_EXECUTABLE, QStringList{"--app-dir", desk.dir.path()} + more);
        program.waitForStarted();
    }

    QTemporaryDir runtime;
    TestDesk desk;
};

/// Runs this process's events until `program` has ended or `patience` is over.
bool finishes(QProcess& program, std::chrono::milliseconds patience)
{
    const QDeadlineTimer deadline(patience);
    while (program.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        program.waitForFinished(10);
    }
    return program.state() == QProcess::NotRunning;
}

/// True once `program` has painted its first window, the popup of its adapter check.
bool showsAWindow(QProcess& program, std::chrono::milliseconds patience)
{
    QByteArray seen;
    const QDeadlineTimer deadline(patience);
    while (!seen.contains("frmMessage shown") && !deadline.hasExpired() && program.state() == QProcess::Running) {
        program.waitForReadyRead(20);
        seen += program.readAllStandardError();
    }
    return seen.contains("frmMessage shown");
}

} // namespace

// A second start ends at once with status 0 and brings this instance's foremost window to
// the front, restored: an open modal dialog first, else the window last active, else the
// main window, also from the tray or the task bar.
TEST(HandOver, SecondStartBringsTheFirstForward)
{
    // clang-format off
    const struct { const char* name; std::function<QWidget*(QWidget& main, QDialog& dialog)> arrange; } cases[] = {
        {"main window hidden to the tray", [](QWidget& main, QDialog&) { main.hide(); return &main; }},
        {"main window minimised", [](QWidget& main, QDialog&) { main.showMinimized(); return &main; }},
        {"modal dialog open", [](QWidget&, QDialog& dialog) -> QWidget* { dialog.setModal(true); dialog.show(); return &dialog; }},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InstanceDesk desk;
        QWidget main;
        main.show();
        SingleInstance instance(QStringLiteral("着信"));
        ASSERT_EQ(instance.claim(), SingleInstance::Role::First);
        ForegroundWindow foreground(main);
        foreground.releaseMainWindow();
        QObject::connect(&instance, &SingleInstance::forwardRequested, &foreground, &ForegroundWindow::bringForward);
        QSignalSpy asked(&instance, &SingleInstance::forwardRequested);
        QDialog dialog(&main);
        QWidget* expected = c.arrange(main, dialog);

        QProcess second;
        desk.start(second);
        ASSERT_TRUE(finishes(second, 10s));

        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_FALSE(second.readAllStandardError().contains(" shown"));
        EXPECT_EQ(asked.count(), 1);
        EXPECT_EQ(foreground.foremost(), expected);
        EXPECT_TRUE(expected->isVisible());
        EXPECT_FALSE(expected->isMinimized());
    }
}

// A lock and a socket name left by a killed instance do not stop the next start.
TEST(HandOver, NameLeftByAKilledInstance)
{
    InstanceDesk desk;
    QProcess first;
    desk.start(first);
    ASSERT_TRUE(showsAWindow(first, 20s));
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(finishes(first, 5s));
    const QString base = QDir(SingleInstance::runtimeDirectory()).filePath(SingleInstance::instanceName(u"着信"_qs));
    ASSERT_TRUE(QFile::exists(base + QStringLiteral(".socket")));

    QProcess next;
    desk.start(next);
    EXPECT_TRUE(showsAWindow(next, 20s));
    EXPECT_EQ(next.state(), QProcess::Running);
    next.kill();
    next.waitForFinished();
}

// Starts at the same moment end with exactly one instance running.
TEST(HandOver, SimultaneousStartsLeaveOneInstance)
{
    InstanceDesk desk;
    QProcess starts[3];
    for (QProcess& start : starts)
        desk.start(start);

    int ended = 0;
    const QDeadlineTimer deadline(15s);
    while (ended < 2 && !deadline.hasExpired()) {
        ended = 0;
        for (QProcess& start : starts) {
            start.waitForFinished(10);
            ended += start.state() == QProcess::NotRunning ? 1 : 0;
        }
    }
    // The one left must not end by itself.
    QThread::msleep(1000);
    int running = 0;
    for (QProcess& start : starts) {
        if (start.state() == QProcess::Running) {
            ++running;
            start.kill();
            start.waitForFinished();
        } else {
            EXPECT_EQ(start.exitCode(), 0);
        }
    }
    EXPECT_EQ(running, 1);
}

// --history opens the window in the running instance and ends, as --phonebook does its own.
// With none running it shows the window alone, which leaves the program's place free for a
// normal start, and a second --history brings that window forward instead of opening another.
TEST(HandOver, HistoryInTheRunningInstanceOrAlone)
{
    InstanceDesk desk;
    for (const auto& [option, signal] : {std::pair{"--history", &SingleInstance::historyRequested},
                                         std::pair{"--phonebook", &SingleInstance::phoneBookRequested}}) {
        SCOPED_TRACE(option);
        SingleInstance instance(QStringLiteral("着信"));
        ASSERT_EQ(instance.claim(), SingleInstance::Role::First);
        QSignalSpy asked(&instance, signal);
        QSignalSpy forward(&instance, &SingleInstance::forwardRequested);
        QProcess second;
        desk.start(second, {option});
        ASSERT_TRUE(finishes(second, 10s));
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(asked.count(), 1);
        EXPECT_EQ(forward.count(), 0);
    }

    QProcess alone;
    desk.start(alone, {"--history"});
    const QString lock = QDir(SingleInstance::runtimeDirectory())
                             .filePath(SingleInstance::instanceName(u"着信\n着信履歴"_qs) + QStringLiteral(".lock"));
    ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(lock); }, 10s));
    SingleInstance program(QStringLiteral("着信"));
    EXPECT_EQ(program.claim(), SingleInstance::Role::First);
    QProcess again;
    desk.start(again, {"--history"});
    EXPECT_TRUE(finishes(again, 10s));
    EXPECT_EQ(again.exitCode(), 0);
    EXPECT_EQ(alone.state(), QProcess::Running);
    alone.kill();
    alone.waitForFinished();
}
