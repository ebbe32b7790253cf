#pragma once

#include "app/Pause.h"
#include "startup/Program.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingTaskTray.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class MessageBoxes;

/// The program's parts in standby, as a desk runs them once its start-up is through: the
/// settings read from `appDir` (its adapter port included), the main window loaded hidden,
/// the port open, the watchdog running when asked. The browser and the tray are recorded.
class StandbyDesk
{
public:
    StandbyDesk(const QString& appDir, MessageBoxes& boxes, bool watchdog = false);

    /// Whether the adapter's port could be opened.
    bool isStandingBy() const { return m_open; }

    ThreadPauser pauser;
    RecordingTaskTray tray;
    RecordingBrowserLauncher browser;
    Program program;

private:
    bool m_open = false;
};

/// The built program started on `appDir` with the given history and an adapter port with
/// nothing behind it: it writes what the spool holds and stays up, without a display.
class ProgramWithoutAdapter
{
public:
    ProgramWithoutAdapter(const QString& executable, const SharedState& state, const QString& history);
    /// Killed, if it still runs.
    ~ProgramWithoutAdapter();

    QProcess process;

private:
    QTemporaryDir m_runtime;
};
