// Window titles as a real X server shows them. Qt can append the application's display name
// to every title; the program's boxes must carry exactly the titles it gives them.

#include "app/Settings.h"

#include "AdapterSimulator.h"
#include "support/TempAppDir.h"

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

QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(5000))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// The `_NET_WM_NAME` of every window on the display that has one.
QStringList windowTitles()
{
    QStringList titles;
    static const QRegularExpression id(QStringLiteral("^\\s*(0x[0-9a-f]+)"), QRegularExpression::MultilineOption);
    static const QRegularExpression name(QStringLiteral("_NET_WM_NAME\\(UTF8_STRING\\) = \"(.*)\"$"));
    const QString tree = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    for (auto it = id.globalMatch(tree); it.hasNext();) {
        const QString window = it.next().captured(1);
        const QString property =
            runTool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_NAME")}).trimmed();
        if (const auto match = name.match(property); match.hasMatch())
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
    TempAppDir dir;
    dir.copyShippedSettings();
    AdapterSimulator sim(AdapterSimProfile::load(dir.settingsPath(), QStringLiteral("CTI-INS100")));
    ASSERT_TRUE(sim.isValid()) << sim.errorString().toStdString();
    const SharedState setup = dir.makeState();
    WriteIni(setup, "SYSTEM", "adapter", "1");
    WriteIni(setup, "SYSTEM", "CommPort", "3");
    WriteIni(setup, "PORTS", "COM3", sim.portPath());
    WriteIni(setup, "URL", "browse", "True");
    WriteIni(setup, "URL", "path1", "http://crm.example.jp/?tel=");

    // No browser anywhere: no BROWSER and empty desktop configuration folders.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("BROWSER"));
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS"}) {
        const QString folder = dir.filePath(QString::fromLatin1(variable));
        QDir().mkpath(folder);
        env.insert(QString::fromLatin1(variable), folder);
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // An instance of its own, whatever else runs on this machine.
    const QString runtime = dir.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    program.start(QStringLiteral(CHAKUSHIN_EXECUTABLE), {QStringLiteral("--app-dir"), dir.path()});
    ASSERT_TRUE(program.waitForStarted());

    // The settings are complete, so the start-up asks "待ち受けを開始しますか？" once the
    // adapter has answered; the user accepts with Return, as on the keyboard, and standby
    // comes on a second later.
    QDeadlineTimer deadline(30s);
    QString box;
    while (box.isEmpty() && !deadline.hasExpired() && program.state() == QProcess::Running) {
        box = runTool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                  QStringLiteral("--pid"), QString::number(program.processId())})
                  .section(u'\n', 0, 0)
                  .trimmed();
        // The popup of the adapter check comes first; only the box is a dialog.
        if (!box.isEmpty() && !runTool(QStringLiteral("xprop"), {QStringLiteral("-id"), box,
                                                                 QStringLiteral("_NET_WM_WINDOW_TYPE")})
                                   .contains(QLatin1String("_NET_WM_WINDOW_TYPE_DIALOG")))
            box.clear();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    ASSERT_FALSE(box.isEmpty()) << "the start-up question did not appear: the program "
                                << (program.state() == QProcess::Running          ? "is still running"
                                    : program.exitStatus() == QProcess::CrashExit ? "crashed"
                                                                                  : "exited");
    runTool(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
    runTool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
    QStringList titles;
    while (!deadline.hasExpired() && program.state() == QProcess::Running) {
        sim.raiseCall(QStringLiteral("0312345678"));
        const QDeadlineTimer step(500ms);
        while (!step.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
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
