#include "startup/EntryRoutine.h"

#include "app/CommandLine.h"
#include "app/Pause.h"
#include "app/Settings.h"
#include "calls/SqliteHistoryStore.h"
#include "startup/ForegroundWindow.h"
#include "startup/Program.h"
#include "startup/SingleInstance.h"
#include "startup/StartupSequence.h"
#include "ui/ApplicationSetup.h"
#include "ui/QtMessageBoxes.h"
#include "ui/SystemTaskTray.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

bool wantsWindows(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--create-history-db") == 0)
            return false;
    }
    return true;
}

CommandLine commandLine()
{
    const CommandLine options = parseCommandLine(QCoreApplication::arguments(), QCoreApplication::applicationDirPath());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "chakushin: %s\nusage: chakushin [--app-dir DIR] [--create-history-db PATH]\n",
                     qPrintable(options.error));
    }
    return options;
}

int createHistoryDb(const QString& path)
{
    QString error;
    if (!createHistoryDatabase(path, &error)) {
        std::fprintf(stderr, "chakushin: cannot create the history database %s: %s\n", qPrintable(path),
                     qPrintable(error));
        return 1;
    }
    std::printf("Created the history database %s\n", qPrintable(path));
    return 0;
}

int runProgram(const QString& appDir)
{
    // Only the title and the debug switch are read before it is clear that this start runs.
    SharedState titleOnly;
    titleOnly.appDir = appDir;
    ReadWriteAppSettings(titleOnly, QStringLiteral("READ"));
    SingleInstance instance(titleOnly.systemSettings.appName);
    if (instance.claim() == SingleInstance::Role::HandedOver) {
        DebugLog(titleOnly, QStringLiteral("handed over to the running instance"));
        return 0;
    }

    QtMessageBoxes boxes;
    ThreadPauser pauser;
    SystemTaskTray tray;
    Program program(appDir, {boxes, pauser, tray});
    ReadWriteAppSettings(program.state, QStringLiteral("READ"));
    frmTerminal& window = program.loadMainWindow();
    ForegroundWindow foreground(window);
    QObject::connect(&instance, &SingleInstance::forwardRequested, &foreground, &ForegroundWindow::bringForward);

    StartupSequence startup(program.state, boxes, pauser, program.comm, window, program.stepDialogs());
    switch (startup.run()) {
    case StartupSequence::Outcome::SettingsUnusable:
        return 1;
    case StartupSequence::Outcome::Quit:
        return 0;
    case StartupSequence::Outcome::Running:
        break;
    }
    foreground.releaseMainWindow();
    QObject::connect(&window, &frmTerminal::unloaded, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return QCoreApplication::exec();
}

} // namespace

int runEntryRoutine(int& argc, char** argv)
{
    // Making a history database needs no display, so it also works from a build or an
    // install script.
    if (!wantsWindows(argc, argv)) {
        QCoreApplication app(argc, argv);
        const CommandLine options = commandLine();
        if (!options.error.isEmpty())
            return 2;
        return createHistoryDb(*options.createHistoryDb);
    }

    QApplication app(argc, argv);
    prepareApplication(app);
    const CommandLine options = commandLine();
    if (!options.error.isEmpty())
        return 2;
    if (options.createHistoryDb)
        return createHistoryDb(*options.createHistoryDb);
    return runProgram(options.appDir);
}
