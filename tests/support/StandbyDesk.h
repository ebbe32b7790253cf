#pragma once

#include "app/Pause.h"
#include "startup/Program.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingTaskTray.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>

class MessageBoxes;

/// The program's parts in standby, as a desk runs them once its start-up is through: the
/// settings read from `appDir` (its adapter port included), the main window loaded hidden,
/// the port open, the watchdog running when asked. The browser and the tray are recorded.
class StandbyDesk
{
public:
    StandbyDesk(const QString& appDir, MessageBoxes& boxes, bool watchdog = false);

    /// Writes a desk's settings into `state`'s settings.ini: the adapter on `port`, the
    /// history at `history`, the browser on when `browse`.
    static void configure(const SharedState& state, const QString& port, const QString& history, bool browse);

    /// Whether the adapter's port could be opened.
    bool isStandingBy() const { return m_open; }

    ThreadPauser pauser;
    RecordingTaskTray tray;
    RecordingBrowserLauncher browser;
    Program program;

private:
    bool m_open = false;
};

/// The built program started on `state`'s application directory with the given history
/// and an adapter port with nothing behind it: it writes what the spool holds and stays up,
/// without a display.
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

/// Journals `rows` calls in `state`'s spool, then `trials` times: starts the built program on
/// a copy of that spool with the history `history` emptied by `clear`, kills it at a random
/// moment of its flush, and writes what is left. Each trial must end with every call's
/// number once and in order in `numbersIn()`, and at least one kill must fall into a flush.
void killDuringFlushes(const QString& executable, SharedState state, const QString& history,
                       const std::function<bool()>& clear, const std::function<QStringList()>& numbersIn, int rows,
                       int trials);
