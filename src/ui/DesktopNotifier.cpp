#include "ui/DesktopNotifier.h"

#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"
#include "calls/CallerNumber.h"
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
const QString kClaimAction = QStringLiteral("claim");
const QString kClaimLabel = QStringLiteral("対応します");
const QString kHistoryAction = QStringLiteral("history");
const QString kHistoryLabel = QStringLiteral("履歴を開く");
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
    QStringList lines = notice.caller ? notice.caller->lines() : QStringList();
    lines << notice.shown;
    if (!notice.takenBy.isEmpty())
        lines << honorific(notice.takenBy) + QStringLiteral("が対応中");
    return lines.join(u'\n');
}

QString DesktopNotifier::messageTitleOf(const CallEvent& message)
{
    return QStringLiteral("伝言（%1から）").arg(honorific(message.person));
}

QString DesktopNotifier::messageTextOf(const CallEvent& message)
{
    QStringList lines;
    if (!message.text.isEmpty())
        lines << message.text;
    lines << CallerNumber::shownOf(message.number) + u' ' + message.calldate;
    lines << (message.callBack ? QStringLiteral("折り返し要") : QStringLiteral("折り返し不要"));
    return lines.join(u'\n');
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
    QStringList actions = notice.pageUrl.isEmpty() ? QStringList() : QStringList{kOpenAction, kOpenLabel};
    if (m_claim && notice.takenBy.isEmpty())
        actions << kClaimAction << kClaimLabel;
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
    if (id == 0)
        return;
    if (id == m_shownId && action == kOpenAction && !m_shown.pageUrl.isEmpty())
        m_launcher.OpenUrlInBrowser(m_shown.pageUrl);
    else if (id == m_shownId && action == kClaimAction && m_claim && m_shown.takenBy.isEmpty())
        m_claim(m_shown);
    else if (m_messages.contains(id) && action == kHistoryAction && m_openHistory)
        m_openHistory();
}

void DesktopNotifier::onNotificationClosed(uint id, uint /*reason*/)
{
    if (id == m_shownId)
        m_shownId = 0;
    m_messages.remove(id);
}

void DesktopNotifier::claimed(const CallEvent& claim)
{
    // Only the newest call is ever shown; an older one's notification has been replaced.
    if (!m_latest.isAbout(claim) || !m_latest.takenBy.isEmpty())
        return;
    m_latest.takenBy = claim.person;
    // The one shown says so already, for a click that comes before its replacement is answered.
    if (m_shown.isAbout(claim))
        m_shown.takenBy = claim.person;
    // A tray message cannot be replaced: while the tray shows the call, it shows it again.
    if (m_inTray == m_announced) {
        m_tray.showMessage(titleOf(m_latest), textOf(m_latest));
        return;
    }
    if (m_sending)
        m_waiting = true;
    else if (m_bus.isConnected() && m_shownId != 0 && m_shown.isAbout(claim))
        send(m_latest);
}

void DesktopNotifier::messageLeft(const CallEvent& message)
{
    const QString title = messageTitleOf(message);
    const QString text = messageTextOf(message);
    if (!m_bus.isConnected() || m_failing) {
        m_tray.showMessage(title, text);
        return;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QStringList actions = m_openHistory ? QStringList{kHistoryAction, kHistoryLabel} : QStringList();
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("chakushin")}};
    const QString& appName = m_state.systemSettings.appName;
    notify << (appName.isEmpty() ? QStringLiteral("chakushin") : appName) << uint(0) << QStringLiteral("chakushin")
           << title << bodyText(text) << actions << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify, kReplyWait), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, title, text](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<uint> reply = *finished;
        if (reply.isError())
            m_tray.showMessage(title, text);
        else
            m_messages.insert(reply.value());
    });
}
