#pragma once

#include "ui/TaskTray.h"

#include <QSystemTrayIcon>

/// The tray icon on the desktop's notification area. The context menu is not handed to
/// Qt: a right-button press reaches the activation handler like every other click.
class SystemTaskTray final : public TaskTray
{
public:
    SystemTaskTray();

    bool isAvailable() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
    bool isShown() const override { return m_icon.isVisible(); }
    void show(const QIcon& icon, const QString& tip) override;
    void hide() override { m_icon.hide(); }
    void change(const QIcon& icon, const QString& tip) override;
    void showMessage(const QString& title, const QString& text) override;

    /// The icon itself, for a check that it really is on a desktop.
    const QSystemTrayIcon& icon() const { return m_icon; }

private:
    QSystemTrayIcon m_icon;
};
