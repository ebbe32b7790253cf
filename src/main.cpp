#include "app/CommandLine.h"
#include "app/Settings.h"
#include "app/SharedState.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const CommandLine options = parseCommandLine(QApplication::arguments(), QApplication::applicationDirPath());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "chakushin: %s\nusage: chakushin [--app-dir DIR] [--create-history-db PATH]\n",
                     qPrintable(options.error));
        return 2;
    }

    SharedState state;
    state.appDir = options.appDir;
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    QApplication::setApplicationDisplayName(state.systemSettings.appName);
    LoadSettings(state);
    return 0;
}
