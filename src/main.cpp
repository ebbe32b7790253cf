#include "app/CommandLine.h"
#include "app/Pause.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "calls/DatabaseCallHistory.h"
#include "calls/DesktopBrowserLauncher.h"
#include "calls/SqliteHistoryStore.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"
#include "ui/ApplicationSetup.h"
#include "ui/DialogOpeners.h"
#include "ui/QtMessageBoxes.h"
#include "ui/SystemTaskTray.h"
#include "ui/frmTerminal.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool wantsWindows(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--create-history-db") == 0)
            return false;
    }
    return true;
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

} // namespace

int main(int argc, char* argv[])
{
    // Making a history database needs no display, so it also works from a build or an
    // install script.
    std::unique_ptr<QCoreApplication> app;
    if (wantsWindows(argc, argv)) {
        auto windows = std::make_unique<QApplication>(argc, argv);
        prepareApplication(*windows);
        app = std::move(windows);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    const CommandLine options = parseCommandLine(QCoreApplication::arguments(), QCoreApplication::applicationDirPath());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "chakushin: %s\nusage: chakushin [--app-dir DIR] [--create-history-db PATH]\n",
                     qPrintable(options.error));
        return 2;
    }
    if (options.createHistoryDb)
        return createHistoryDb(*options.createHistoryDb);

    SharedState state;
    state.appDir = options.appDir;
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadSettings(state);

    QtMessageBoxes boxes;
    ThreadPauser pauser;
    DesktopBrowserLauncher launcher(state, boxes);
    DatabaseCallHistory history(state, boxes);
    ReceiveProcessor receive(state, boxes, launcher, history);
    frmComm comm(state, boxes, pauser, receive);
    SystemTaskTray tray;
    // The settings dialogs register their openers here once they exist; until then their
    // names open nothing.
    DialogOpeners openers;

    // Until the start-up sequence exists, the window comes up with standby off and the user
    // starts standby with its button.
    state.appState = AppStateCode::StandbyOff;
    frmTerminal window(state, boxes, pauser, comm, receive, tray, openers);
    QObject::connect(&window, &frmTerminal::unloaded, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    return QCoreApplication::exec();
}
