#pragma once

#include "support/ProcessEventsUntil.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <chrono>

/// Runs an X tool (xdotool, xprop, ...) and returns what it printed; nothing when it fails or takes over 5 s.
inline QString runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    return tool.waitForFinished(5000) ? QString::fromUtf8(tool.readAllStandardOutput()) : QString();
}

/// Waits at most `patience` for `program` to show a dialog window on the X server (its message box) and answers it with
/// Return, as on the keyboard. False when none came.
inline bool answerBoxWithReturn(const QProcess& program, std::chrono::milliseconds patience)
{
    const QDeadlineTimer deadline(patience);
    QString box;
    while (box.isEmpty() && !deadline.hasExpired() && program.state() == QProcess::Running) {
        const QString pid = QString::number(program.processId());
        for (const QString& window : runTool("xdotool", {"search", "--onlyvisible", "--pid", pid}).split(u'\n'))
            if (!window.isEmpty() &&
                runTool("xprop", {"-id", window, "_NET_WM_WINDOW_TYPE"}).contains("_NET_WM_WINDOW_TYPE_DIALOG"))
                box = window;
        if (box.isEmpty())
            processEventsUntil([] { return false; }, std::chrono::milliseconds(100));
    }
    runTool("xdotool", {"windowfocus", "--sync", box});
    runTool("xdotool", {"key", "Return"});
    return !box.isEmpty();
}
