#pragma once

#include "calls/CallNotifier.h"

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

class BrowserLauncher;
class TaskTray;
struct SharedState;

/// Announces calls through the desktop's notification service (org.freedesktop.Notifications
/// on `bus`): the application's name (`appName`) as the source, "着信" and the number as people
/// read it (`CallNotice::shown`, under the caller's name and company when there is a phone book; `textOf`), escaped
/// for servers that read the body as markup, and the action "ページを開く",
/// which opens the call's page again. A nuisance caller's is critical (shown in red) and titled "着信（迷惑電話）".
/// Each call's notification replaces the one before. Without a service on the bus
/// (or without a bus) the tray shows the message; without a tray either, nothing is shown. Nothing here waits for the
/// bus.
///
/// The tray shows only the newest call and never goes back to an older one: a Notify that
/// fails brings the newest call announced so far to the tray, and while the service keeps
/// failing each call goes to the tray at once, the service still tried with the newest.
class DesktopNotifier final : public QObject, public CallNotifier
{
    Q_OBJECT

public:
    DesktopNotifier(const SharedState& state, TaskTray& tray, BrowserLauncher& launcher,
                    QDBusConnection bus = QDBusConnection::sessionBus());

    void announce(const CallNotice& notice) override;
    /// The newest call's notification, while shown, says 「○○さんが対応中」 in place of its
    /// 「対応します」; so does the one of a call announced later to have been taken already.
    void claimed(const CallEvent& claim) override;
    /// A notification of its own, 「伝言（○○さんから）」 with the text, the call and whether a
    /// call-back is wanted, and the action 「履歴を開く」.
    void messageLeft(const CallEvent& message) override;

    /// With a handler, each call's notification offers 「対応します」, which hands it the call.
    void setClaimHandler(std::function<void(const CallNotice&)> claim) { m_claim = std::move(claim); }
    /// What 「履歴を開く」 on a message's notification does.
    void setHistoryOpener(std::function<void()> open) { m_openHistory = std::move(open); }

    /// What a notification says of the call: with a phone book, 「迷惑電話」 first for a
    /// nuisance, the caller's name (「未登録」 for a number the book lacks) and the company,
    /// then the number as people read it; without one, the number alone.
    static QString textOf(const CallNotice& notice);
    /// The title and text of a message's notification.
    static QString messageTitleOf(const CallEvent& message);
    static QString messageTextOf(const CallEvent& message);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onNotificationClosed(uint id, uint reason);

private:
    void send(const CallNotice& notice);
    /// Shows the newest call in the tray unless the tray shows it already.
    void showLatestInTray();

    const SharedState& m_state;
    TaskTray& m_tray;
    BrowserLauncher& m_launcher;
    QDBusConnection m_bus;
    /// The notification shown now (0: none), and its call.
    uint m_shownId = 0;
    CallNotice m_shown;
    /// The newest call announced, and how many were announced: each call's sequence number.
    CallNotice m_latest;
    quint64 m_announced = 0;
    /// The sequence number of the call the tray shows (0: none); it only grows.
    quint64 m_inTray = 0;
    /// Whether the service failed the last notification sent.
    bool m_failing = false;
    std::function<void(const CallNotice&)> m_claim;
    std::function<void()> m_openHistory;
    /// The notifications of messages still shown.
    QSet<uint> m_messages;
    /// Whether a notification is on its way, and whether a newer call waits meanwhile (the
    /// newest is sent once it is answered).
    bool m_sending = false;
    bool m_waiting = false;
};
