#include "calls/CallDispatch.h"

#include "app/MessageBoxes.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"
#include "calls/CallCommand.h"
#include "calls/CallDisplay.h"
#include "calls/CallNotifier.h"
#include "calls/CallerNumber.h"
#include "calls/CallerPage.h"
#include "calls/NumberExtraction.h"
#include "history/CallHistory.h"

#include <cstdio>

CallDispatch::CallDispatch(SharedState& state, MessageBoxes& messageBoxes, BrowserLauncher& launcher,
                           CallHistory& history, CallDisplay* display)
    : m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_launcher(launcher)
    , m_history(history)
    , m_display(display)
{}

void CallDispatch::isdnNotification(const QString& line, const Arrival& arrival)
{
    const std::optional<QString> number = NumberExtraction::isdnNumber(line, m_state.adapterProfile.ring);
    if (!number) {
        m_messageBoxes.show(QStringLiteral("電話番号を取り出すことができませんでした") + u'\r' +
                                QStringLiteral("着信通知データ：") + line,
                            m_state.systemSettings.appName, MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok);
        return;
    }
    dispatch(*number, arrival);
}

std::optional<CallFailure> CallDispatch::analogNotification(const QString& line, const Arrival& arrival)
{
    const std::optional<QString> number = NumberExtraction::analogNumber(line, m_state.adapterProfile.ring);
    if (!number)
        return CallFailure{
            QStringLiteral("着信通知データに区切り文字「:」がないため、電話番号を取り出せません（着信通知データ：") +
            line + u'）'};
    dispatch(*number, arrival);
    return std::nullopt;
}

bool CallDispatch::t1Frame(const QString& frame, const Arrival& arrival)
{
    const QString number = NumberExtraction::t1Number(frame);
    if (number.isEmpty()) {
        showNumber(number, std::nullopt);
        return true;
    }
    openAndRecord(number, arrival);
    return false;
}

void CallDispatch::dispatch(const QString& number, const Arrival& arrival)
{
    openAndRecord(number, arrival);
}

void CallDispatch::followedCall(const QString& number, const QDateTime& calldate, const QString& announcedName,
                                qint64 callId)
{
    std::optional<Caller> caller = callerOf(number);
    if (!caller && !announcedName.isNull() && !CallerNumber::withoutNumber(number))
        caller = Caller{true, announcedName, {}, false};
    showNumber(number, caller);
    openAndAnnounce(number, calldate, caller, callId);
}

std::optional<Caller> CallDispatch::callerOf(const QString& number) const
{
    if (!m_names || CallerNumber::withoutNumber(number))
        return std::nullopt;
    return m_names->callerOf(number);
}

void CallDispatch::openAndAnnounce(const QString& number, const QDateTime& calldate,
                                   const std::optional<Caller>& caller, qint64 callId)
{
    // Read the settings at the moment of the call: the URL dialog may have changed them since
    // the last one.
    const UrlSettings& url = m_state.urlSettings;
    const bool nuisance = caller && caller->nuisance;
    const bool opensPage = (url.openwithheld != QLatin1String("False") || !CallerNumber::withoutNumber(number)) &&
                           (url.opennuisance != QLatin1String("False") || !nuisance);
    const QString name = caller && caller->listed ? caller->name : QString();
    const QString page = opensPage ? callerPageUrl(url.path1, number, calldate, name) : QString();
    if (isExactlyTrue(url.browse) && opensPage)
        m_launcher.OpenUrlInBrowser(page);
    if (m_notifier && isExactlyTrue(url.notify))
        m_notifier->announce(
            {number, CallerNumber::shownOf(number), calldate, url.path1.isEmpty() ? QString() : page, caller, callId});
}

qint64 CallDispatch::journal(const QString& number, const QDateTime& receivedAt)
{
    return isExactlyTrue(m_state.urlSettings.history) ? m_history.journal(number, receivedAt) : 0;
}

void CallDispatch::showNumber(const QString& number, const std::optional<Caller>& caller)
{
    if (!m_display)
        return;
    m_display->setRecvData(number);
    m_display->setCaller(caller);
}

void CallDispatch::openAndRecord(const QString& number, const Arrival& arrival)
{
    const std::optional<Caller> caller = callerOf(number);
    showNumber(number, caller);
    openAndAnnounce(number, arrival.at, caller);
    if (isExactlyTrue(m_state.urlSettings.history))
        m_history.WriteCallHistory(number, arrival);
    runCommand(number, arrival.at, caller);
}

void CallDispatch::runCommand(const QString& number, const QDateTime& receivedAt, const std::optional<Caller>& caller)
{
    const CommandOutput output = isDebugMode(m_state) ? CommandOutput::FirstLinesTraced : CommandOutput::Discarded;
    const QString failure = runCallCommand(m_state.urlSettings.command, number, receivedAt, output,
                                           caller && caller->listed ? caller->name : QString());
    if (failure.isEmpty())
        return;
    const QString line = QStringLiteral("the command for the call of %1: %2").arg(number, failure);
    std::fprintf(stderr, "chakushin: %s\n", qPrintable(line));
    DebugLog(m_state, line);
}
