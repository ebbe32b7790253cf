// Window titles as a real X server shows them. Qt can append the application's display name
// to every title; the program's boxes must carry exactly the titles it gives them.

#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"
#include "support/X11Box.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#ifndef CHAKUSHIN_EXECUTABLE
#error "CHAKUSHIN_EXECUTABLE must name the program"
#endif

using namespace std::chrono_literals;

namespace {

// The `_NET_WM_NAME` of every window on the display that has one.
QStringList windowTitles()
{
    QStringList titles;
    static const QRegularExpression id(QStringLiteral("^\\s*(0x[0-9a-f]+)"), QRegularExpression::MultilineOption);
    static const QRegularExpression name(QStringLiteral("_NET_WM_NAME\\(UTF8_STRING\\) = \"(.*)\"$"));
    const QString tree = runTool("xwininfo", {"-root", "-tree"});
    for (auto it = id.globalMatch(tree); it.hasNext();) {
        const QString window = it.next().captured(1);
        if (const auto match = name.match(runTool("xprop", {"-id", window, "_NET_WM_NAME"}).trimmed());
            match.hasMatch())
            titles.append(match.captured(1));
    }
    return titles;
}

} // namespace

// The launcher's box when no browser is associated is titled "Browser Not Found" and nothing
// else, while the program's title ("着信") stays where it belongs.
TEST(WindowTitles, ABoxWithItsOwnTitleShowsExactlyThatTitle)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs an X server (run under scripts/lib/with-xvfb)";
    TestDesk desk({.ini = "[SYSTEM]\nadapter=1\nCommPort=3\n[URL]\nbrowse=True\npath1=http://crm.example.jp/?tel=\n",
                   .adapter = "CTI-INS100"});
    desk.program.reset(); // the desk's own program is the one started below
    // No browser anywhere: no BROWSER and empty desktop configuration folders; and an instance
    // of its own (XDG_RUNTIME_DIR), whatever else runs on this machine.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("BROWSER");
    for (const QString variable :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "XDG_RUNTIME_DIR"}) {
        QDir().mkpath(desk.dir.filePath(variable));
        env.insert(variable, desk.dir.filePath(variable));
    }
    QFile::setPermissions(desk.dir.filePath("XDG_RUNTIME_DIR"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("QT_QPA_PLATFORM", "xcb");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    program.start(CHAKUSHIN_EXECUTABLE, {"--app-dir", desk.dir.path()});
    ASSERT_TRUE(program.waitForStarted());

    // The settings are complete, so the start-up asks "待ち受けを開始しますか？" once the
    // adapter has answered; the user accepts with Return, as on the keyboard, and standby
    // comes on a second later.
    ASSERT_TRUE(answerBoxWithReturn(program, 30s)) << "the start-up question did not appear: the program "
                                                   << (program.state() == QProcess::Running ? "is still running"
                                                       : program.exitStatus() == QProcess::CrashExit ? "crashed"
                                                                                                     : "exited");
    QDeadlineTimer deadline(30s);
    QStringList titles;
    while (!deadline.hasExpired() && program.state() == QProcess::Running) {
        desk.sim->raiseCall(QStringLiteral("0312345678"));
        processEventsUntil([] { return false; }, 500ms);
        titles = windowTitles();
        if (!titles.filter(QStringLiteral("Browser Not Found")).isEmpty())
            break;
    }
    program.kill();
    program.waitForFinished();
    EXPECT_TRUE(titles.contains(QStringLiteral("Browser Not Found"))) << titles.join(u'|').toStdString();
    for (const QString& title : titles)
        EXPECT_FALSE(title.startsWith(QStringLiteral("Browser Not Found")) && title != u"Browser Not Found")
            << title.toStdString();
}
