// chakushin-screenshots DIR: renders the main window (normal and debug height) and the
// message popup as the program shows them and saves them as PNG files in DIR. Run it on a
// real X server with the Japanese font installed (scripts/screenshots does both).

#include "app/Pause.h"
#include "app/Settings.h"
#include "startup/Program.h"
#include "ui/ApplicationSetup.h"
#include "ui/QtMessageBoxes.h"
#include "ui/TaskTray.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

// The pictures show the windows alone.
class NoTray final : public TaskTray
{
public:
    bool isAvailable() const override { return true; }
    bool isShown() const override { return false; }
    void show(const QIcon&, const QString&) override {}
    void hide() override {}
};

class NoPause final : public Pauser
{
public:
    void pause(std::chrono::milliseconds) override {}
};

void settle()
{
    const QDeadlineTimer deadline(300);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget& window, const QString& path)
{
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    settle();
    const bool saved = window.screen()->grabWindow(window.winId()).save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// One main window as the program shows it, with the settings of `debugmode`.
bool shoot(const QString& outDir, bool debug)
{
    QTemporaryDir appDir;
    QtMessageBoxes boxes;
    NoPause pauser;
    NoTray tray;
    Program program(appDir.path(), {boxes, pauser, tray});
    SharedState& state = program.state;
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("appName"), QStringLiteral("着信"));
    WriteIni(state, QStringLiteral("SYSTEM"), QStringLiteral("debugmode"),
             debug ? QStringLiteral("True") : QStringLiteral("False"));
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadSettings(state);
    frmTerminal& window = program.loadMainWindow();
    window.show();
    if (!debug)
        return save(window, outDir + QStringLiteral("/main-window.png"));

    window.setRecvData(QStringLiteral("0312345678"));
    window.setTerminalText(QStringLiteral("0\r\n\r\nRING0312345678/1\r\n\r\n"));
    if (!save(window, outDir + QStringLiteral("/main-window-debug.png")))
        return false;
    window.popup().ShowMessage(QString(), QStringLiteral("アダプタ設定を開きます。"), 0, true);
    return save(window.popup(), outDir + QStringLiteral("/popup.png"));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: chakushin-screenshots DIR\n");
        return 2;
    }
    prepareApplication(app);
    const QString outDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outDir);
    return shoot(outDir, false) && shoot(outDir, true) ? 0 : 1;
}
