#pragma once

#include "ui/TaskTray.h"

#include <QStringList>

/// A notification area that records what it was asked to show: `events` holds "add" and
/// "remove" in order; `icon` and `tip` are those of the last add.
class RecordingTaskTray final : public TaskTray
{
public:
    bool isAvailable() const override { return available; }
    bool isShown() const override { return shown; }
    void show(const QIcon& newIcon, const QString& newTip) override
    {
        shown = true;
        icon = newIcon;
        tip = newTip;
        events.append(QStringLiteral("add"));
    }
    void hide() override
    {
        shown = false;
        events.append(QStringLiteral("remove"));
    }
    /// The user clicks the icon.
    void click(QSystemTrayIcon::ActivationReason reason) { activated(reason); }

    bool available = true;
    bool shown = false;
    QIcon icon;
    QString tip;
    QStringList events;
};
