#include "ui/DesktopNotifier.h"

#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"
#include "ui/TaskTray.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <utility>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kTitle = QStringLiteral("着信");
const QString kNuisanceTitle = QStringLiteral("着信（迷惑電話）");
// The action a click on the notification invokes; servers that show buttons show its label.
const QString kOpenAction = QStringLiteral("default");
const QString kOpenLabel = QStringLiteral("ページを開く");
// How long a service may take to answer before the tray shows the call instead.
constexpr int kReplyWait = 3000;

// The body may be read as markup (the summary never is): what the line delivered is shown as
// text, not taken for a tag or an entity.
QString bodyText(const QString& text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

// The notification's urgency: servers show a critical one in red, and keep it until it is
// closed.
constexpr uchar kCritical = 2;

bool isNuisance(const CallNotice& notice)
{
    return notice.caller && notice.caller->nuisance;
}

QString titleOf(const CallNotice& notice)
{
    return isNuisance(notice) ? kNuisanceTitle : kTitle;
}

} // namespace

QString DesktopNotifier::textOf(const CallNotice& notice)
{
    if (!notice.caller)
        return notice.shown;
    return (notice.caller->lines() << notice.shown).join(u'\n');
}

DesktopNotifier::DesktopNotifier(const SharedState& state, TaskTray& tray, BrowserLauncher& launcher,
                                 QDBusConnection bus)
    : m_state(state)
    , m_tray(tray)
    , m_launcher(launcher)
    , m_bus(std::move(bus))
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

void DesktopNotifier::announce(const CallNotice& notice)
{
    m_latest = notice;
    ++m_announced;
    // A service that failed the last call is not waited for again before the tray shows one.
    if (!m_bus.isConnected() || m_failing)
        showLatestInTray();
    if (!m_bus.isConnected())
        return;
    // The notification to replace is known once the one before it has been answered.
    if (m_sending) {
        m_waiting = true;
        return;
    }
    send(notice);
}

void DesktopNotifier::showLatestInTray()
{
    if (m_inTray == m_announced)
        return;
    m_inTray = m_announced;
    m_tray.showMessage(titleOf(m_latest), textOf(m_latest));
}

void DesktopNotifier::send(const CallNotice& notice)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QStringList actions = notice.pageUrl.isEmpty() ? QStringList() : QStringList{kOpenAction, kOpenLabel};
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("chakushin")}};
    if (isNuisance(notice))
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(kCritical));
    const QString& appName = m_state.systemSettings.appName;
    message << (appName.isEmpty() ? QStringLiteral("chakushin") : appName) << m_shownId << QStringLiteral("chakushin")
            << titleOf(notice) << bodyText(textOf(notice)) << actions << hints << -1;
    m_sending = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kReplyWait), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, notice](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        m_sending = false;
        const QDBusPendingReply<uint> reply = *finished;
        m_failing = reply.isError();
        if (!m_failing)
            m_shownId = reply.value();
        else if (reply.error().type() != QDBusError::NoReply)
            m_shownId = 0; // No service on the bus: none of its notifications is ours.
        // A service that answers too late still shows this call once it gets to it, in place of
        // the notification it showed, so what follows replaces that one too instead of piling up.
        m_shown = notice;
        // The newest call, newer than this one when calls came while it was on its way.
        if (m_failing)
            showLatestInTray();
        if (std::exchange(m_waiting, false))
            send(m_latest);
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    if (id != 0 && id == m_shownId && action == kOpenAction && !m_shown.pageUrl.isEmpty())
        m_launcher.OpenUrlInBrowser(m_shown.pageUrl);
}

void DesktopNotifier::onNotificationClosed(uint id, uint /*reason*/)
{
    if (id == m_shownId)
        m_shownId = 0;
}
