#include "app/CommandLine.h"
#include "app/Pause.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "calls/DatabaseCallHistory.h"
#include "calls/DesktopBrowserLauncher.h"
#include "calls/SqliteHistoryStore.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"
#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>

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
    if (wantsWindows(argc, argv))
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);

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

    // Until the main window and the settings dialogs exist, the program goes straight into
    // standby with the adapter configured in settings.ini and ends when standby ends.
    if (state.systemSettings.CommPort.isEmpty() || state.adapterModel.isEmpty()) {
        std::fprintf(stderr, "chakushin: no adapter configured: set [SYSTEM] adapter and CommPort in %s\n",
                     qPrintable(settingsFilePath(state)));
        return 1;
    }
    state.appState = AppStateCode::StandbyOn;
    state.rcvMode = RcvMode::Idle;
    if (!comm.OpenPort(0)) {
        boxes.show(QStringLiteral("ポートオープンエラー"), state.systemSettings.appName,
                   MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
        return 1;
    }
    state.watchAck = WatchAck::Answered;
    if (readAsBoolean(state.adapterProfile.watch).value_or(false))
        comm.watchTimer.start();
    std::fprintf(stderr, "chakushin: standby with %s on COM%s\n", qPrintable(state.adapterModel),
                 qPrintable(state.systemSettings.CommPort));

    QTimer standbyEnded;
    QObject::connect(&standbyEnded, &QTimer::timeout, &standbyEnded, [&] {
        if (state.appState != AppStateCode::StandbyOn)
            QCoreApplication::exit(1);
    });
    standbyEnded.start(1000);
    return QCoreApplication::exec();
}
