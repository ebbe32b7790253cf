#pragma once

#include "BenchMessageBoxes.h"
#include "CountingTray.h"
#include "TimedCallActions.h"

#include "calls/DesktopBrowserLauncher.h"
#include "startup/Program.h"

#include <QTemporaryDir>

#include <memory>

class Pauser;

/// The program's parts put together by `Program`, in standby as the main window leaves it
/// (`appState` 105, `rcvMode` 3, the port opened with `OpenPort(0)`): the shipped settings
/// with `model` selected and COM1 mapped to a pseudo-terminal, browse and history on, the
/// desktop notification off; the real browser launcher and the program's own history, each
/// timed through the program's seams. The main window is not loaded and the watchdog is not
/// started, so nothing but the notifications runs on the event loop.
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
    BenchMessageBoxes boxes;
    CountingTray tray;
    /// Made with the program's state; it outlives the program, whose port may still read a
    /// line while it closes.
    std::unique_ptr<DesktopBrowserLauncher> realLauncher;
    TimedLauncher launcher;
    TimedHistory history;
    /// Its history's journal is kept in `dir`.
    Program program;
};
