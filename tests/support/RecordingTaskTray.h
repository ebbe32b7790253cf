#pragma once

#include "ui/TaskTray.h"

#include <QStringList>

/// A notification area that records what it was asked to show: `events` holds "add" and
/// "remove" in order; `icon` and `tip` are those of the last add or change.
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
    void change(const QIcon& newIcon, const QString& newTip) override
    {
        icon = newIcon;
        tip = newTip;
    }
    void showMessage(const QString& title, const QString& text) override { messages.append(title + u'\n' + text); }
    /// The user clicks the icon.
    void click(QSystemTrayIcon::ActivationReason reason) { activated(reason); }

    bool available = true;
    bool shown = false;
    QIcon icon;
    QString tip;
    QStringList events;
    /// Each message shown: its title and its text on a line of their own.
    QStringList messages;
};
