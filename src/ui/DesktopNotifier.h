#pragma once

#include "calls/CallNotifier.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

class BrowserLauncher;
class TaskTray;
struct SharedState;

/// Announces calls through the desktop's notification service (org.freedesktop.Notifications
/// on `bus`): the application's name (`appName`) as the source, "着信" and the number (escaped
/// for servers that read the body as markup), and the action "ページを開く", which opens the
/// call's page again. Each call's notification replaces the one before. Without a service on
/// the bus (or without a bus) the tray shows the message; without a tray either, nothing is
/// shown. Nothing here waits for the bus.
class DesktopNotifier final : public QObject, public CallNotifier
{
    Q_OBJECT

public:
    DesktopNotifier(const SharedState& state, TaskTray& tray, BrowserLauncher& launcher,
                    QDBusConnection bus = QDBusConnection::sessionBus());

    void announce(const CallNotice& notice) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void send(const CallNotice& notice);

    const SharedState& m_state;
    TaskTray& m_tray;
    BrowserLauncher& m_launcher;
    QDBusConnection m_bus;
    /// The notification shown now (0: none), and its call.
    uint m_shownId = 0;
    CallNotice m_shown;
    /// Whether a notification is on its way; a call meanwhile waits here, the newest only.
    bool m_sending = false;
    std::optional<CallNotice> m_waiting;
};
