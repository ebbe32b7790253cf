#pragma once

#include "BenchMessageBoxes.h"
#include "TimedCallActions.h"

#include "app/SharedState.h"
#include "history/DatabaseCallHistory.h"
#include "calls/DesktopBrowserLauncher.h"
#include "link/ReceiveProcessor.h"
#include "link/frmComm.h"

#include <QTemporaryDir>

class Pauser;

/// The program's receive path in standby, as the main window leaves it (`appState` 105,
/// `rcvMode` 3, the port opened with `OpenPort(0)`): the shipped settings with `model`
/// selected and COM1 mapped to a pseudo-terminal, browse and history on, the real browser
/// launcher and the real SQLite history, each wrapped in a timing decorator. The main
/// window is not loaded and the watchdog is not started, so nothing but the notifications
/// runs on the event loop.
class StandbyRig
{
public:
    static constexpr auto kUrlPrefix = "http://crm.example.jp/customer?tel=";

    StandbyRig(const QString& model, Pauser& pauser);

    /// Creates the history database (unless `historyPath` names one that exists, such as a
    /// postgresql:// URI), writes settings.ini with the port mapped to `slavePath`, loads it
    /// and opens the port. Empty on success, otherwise why not.
    QString startStandby(const QString& slavePath, const QString& historyPath = {});

    /// The notification's wire time at the profile's baud rate, 10 bits a byte.
    std::chrono::nanoseconds wireTime(qsizetype bytes) const;
    qint32 baudRate() const;
    QString databasePath() const { return dir.filePath(QStringLiteral("cti.db")); }

    /// Settings file with the shipped profiles; the simulator reads its model from it.
    static QString shippedSettingsPath();

    QTemporaryDir dir;
    QString model;
    /// In `dir` before the history is made, which keeps its journal there.
    SharedState state = [this] {
        SharedState inDir;
        inDir.appDir = dir.path();
        return inDir;
    }();
    BenchMessageBoxes boxes;
    DesktopBrowserLauncher realLauncher{state, boxes};
    TimedLauncher launcher{realLauncher};
    DatabaseCallHistory realHistory{state, boxes};
    TimedHistory history{realHistory};
    ReceiveProcessor processor{state, boxes, launcher, history};
    frmComm comm;

private:
    Pauser& m_pauser;
};
