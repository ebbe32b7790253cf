#include "startup/HistoryCommands.h"

#include "app/Settings.h"
#include "calls/CallerNumber.h"
#include "calls/DesktopBrowserLauncher.h"
#include "dialogs/HistoryWindow.h"
#include "dialogs/QtFileChooser.h"
#include "history/HistoryCsv.h"
#include "history/HistoryReader.h"
#include "history/PostgresUri.h"
#include "startup/SingleInstance.h"
#include "ui/QtMessageBoxes.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

SharedState settingsIn(const QString& appDir)
{
    SharedState state(appDir);
    ReadWriteAppSettings(state, QStringLiteral("READ"));
    LoadUrlSettings(state);
    return state;
}

} // namespace

int exportHistoryFromCommandLine(const QString& appDir, const QString& file, const std::optional<QDate>& from,
                                 const std::optional<QDate>& to)
{
    const SharedState state = settingsIn(appDir);
    const QString& path3 = state.urlSettings.path3;
    if (path3.isEmpty()) {
        std::fprintf(stderr, "chakushin: no history database is set (path3 in [URL] of %s)\n",
                     qPrintable(settingsFilePath(state)));
        return 1;
    }
    HistoryReader reader(path3);
    const HistoryFilter filter{QString(), from, to};
    HistoryExport result;
    if (file == QLatin1String("-")) {
        QFile out;
        if (out.open(stdout, QIODevice::WriteOnly))
            result = exportHistory(reader, filter, out, &CallerNumber::shownOf);
        else
            result.error = out.errorString();
        out.flush();
    } else {
        // The file appears only once it is complete.
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            result.error = out.errorString();
        else if (result = exportHistory(reader, filter, out, &CallerNumber::shownOf); result.ok && !out.commit())
            result = HistoryExport{false, 0, out.errorString()};
    }
    if (!result.ok) {
        std::fprintf(stderr, "chakushin: cannot export the history \"%s\" to %s: %s\n",
                     qPrintable(withoutPassword(path3)), qPrintable(file), qPrintable(result.error));
        return 1;
    }
    if (file != QLatin1String("-"))
        std::printf("Exported %lld calls to %s\n", static_cast<long long>(result.rows), qPrintable(file));
    return 0;
}

int showHistoryFromCommandLine(const QString& appDir)
{
    SharedState state = settingsIn(appDir);
    SingleInstance running(state.systemSettings.appName);
    if (running.claim(SingleInstance::Request::History) == SingleInstance::Role::HandedOver)
        return 0;
    running.release();
    // One window of its own per title and user; a later --history brings it forward.
    SingleInstance alone(state.systemSettings.appName + QStringLiteral("\n着信履歴"));
    if (alone.claim() == SingleInstance::Role::HandedOver)
        return 0;

    QtMessageBoxes boxes;
    DesktopBrowserLauncher browser(state, boxes);
    QtFileChooser chooser;
    auto* window = new HistoryWindow(state, browser, chooser);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QObject::destroyed, qApp, &QCoreApplication::quit);
    QObject::connect(&alone, &SingleInstance::forwardRequested, window, [window] {
        window->showNormal();
        window->raise();
        window->activateWindow();
    });
    window->show();
    return QCoreApplication::exec();
}
