#pragma once

#include <QIcon>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>

/// The one icon of the program in the desktop's notification area. The real one sits on
/// QSystemTrayIcon; tests record what is shown instead.
class TaskTray
{
public:
    using ActivationHandler = std::function<void(QSystemTrayIcon::ActivationReason)>;

    virtual ~TaskTray() = default;

    /// Whether the desktop has a notification area at all.
    virtual bool isAvailable() const = 0;
    virtual bool isShown() const = 0;
    /// Shows the icon with `icon` and the tip `tip`.
    virtual void show(const QIcon& icon, const QString& tip) = 0;
    virtual void hide() = 0;
    /// Changes the picture and the tip of the icon shown, in place.
    virtual void change(const QIcon& icon, const QString& tip) = 0;
    /// A short message from the icon (a balloon, or the desktop's notification).
    virtual void showMessage(const QString& title, const QString& text) = 0;

    /// Called when the user clicks the icon, with what the click was.
    void setActivationHandler(ActivationHandler handler) { m_activated = std::move(handler); }

protected:
    void activated(QSystemTrayIcon::ActivationReason reason)
    {
        if (m_activated)
            m_activated(reason);
    }

private:
    ActivationHandler m_activated;
};
