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
    showNumber(number);
    if (number.isEmpty())
        return true;
    openAndRecord(number, arrival);
    return false;
}

void CallDispatch::dispatch(const QString& number, const Arrival& arrival)
{
    showNumber(number);
    openAndRecord(number, arrival);
}

void CallDispatch::followedCall(const QString& number, const QDateTime& calldate)
{
    showNumber(number);
    openAndAnnounce(number, calldate);
}

void CallDispatch::openAndAnnounce(const QString& number, const QDateTime& calldate)
{
    // Read the settings at the moment of the call: the URL dialog may have changed them since
    // the last one.
    const UrlSettings& url = m_state.urlSettings;
    const bool opensPage = url.openwithheld != QLatin1String("False") || !CallerNumber::withoutNumber(number);
    const QString page = opensPage ? callerPageUrl(url.path1, number, calldate) : QString();
    if (isExactlyTrue(url.browse) && opensPage)
        m_launcher.OpenUrlInBrowser(page);
    if (m_notifier && isExactlyTrue(url.notify))
        m_notifier->announce({number, CallerNumber::shownOf(number), calldate, url.path1.isEmpty() ? QString() : page});
}

qint64 CallDispatch::journal(const QString& number, const QDateTime& receivedAt)
{
    return isExactlyTrue(m_state.urlSettings.history) ? m_history.journal(number, receivedAt) : 0;
}

void CallDispatch::showNumber(const QString& number)
{
    if (m_display)
        m_display->setRecvData(number);
}

void CallDispatch::openAndRecord(const QString& number, const Arrival& arrival)
{
    openAndAnnounce(number, arrival.at);
    if (isExactlyTrue(m_state.urlSettings.history))
        m_history.WriteCallHistory(number, arrival);
    runCommand(number, arrival.at);
}

void CallDispatch::runCommand(const QString& number, const QDateTime& receivedAt)
{
    const CommandOutput output = isDebugMode(m_state) ? CommandOutput::FirstLinesTraced : CommandOutput::Discarded;
    const QString failure = runCallCommand(m_state.urlSettings.command, number, receivedAt, output);
    if (failure.isEmpty())
        return;
    const QString line = QStringLiteral("the command for the call of %1: %2").arg(number, failure);
    std::fprintf(stderr, "chakushin: %s\n", qPrintable(line));
    DebugLog(m_state, line);
}
