#include "calls/CallDispatch.h"

#include "app/MessageBoxes.h"
#include "app/SettingText.h"
#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"
#include "calls/CallDisplay.h"
#include "calls/CallHistory.h"
#include "calls/CallerPage.h"
#include "calls/NumberExtraction.h"

CallDispatch::CallDispatch(SharedState& state, MessageBoxes& messageBoxes, BrowserLauncher& launcher,
                           CallHistory& history, CallDisplay* display)
    : m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_launcher(launcher)
    , m_history(history)
    , m_display(display)
{}

void CallDispatch::isdnNotification(const QString& line, const QDateTime& receivedAt)
{
    const std::optional<QString> number = NumberExtraction::isdnNumber(line, m_state.adapterProfile.ring);
    if (!number) {
        m_messageBoxes.show(QStringLiteral("電話番号を取り出すことができませんでした") + u'\r' +
                                QStringLiteral("着信通知データ：") + line,
                            m_state.systemSettings.appName, MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok);
        return;
    }
    dispatch(*number, receivedAt);
}

std::optional<CallFailure> CallDispatch::analogNotification(const QString& line, const QDateTime& receivedAt)
{
    const std::optional<QString> number = NumberExtraction::analogNumber(line, m_state.adapterProfile.ring);
    if (!number)
        return CallFailure{
            QStringLiteral("着信通知データに区切り文字「:」がないため、電話番号を取り出せません（着信通知データ：") +
            line + u'）'};
    dispatch(*number, receivedAt);
    return std::nullopt;
}

void CallDispatch::t1Frame(const QString& frame, const QDateTime& receivedAt)
{
    const QString number = NumberExtraction::t1Number(frame);
    showNumber(number);
    if (number.isEmpty()) {
        m_state.watchAck = WatchAck::Answered;
        return;
    }
    openAndRecord(number, receivedAt);
}

void CallDispatch::dispatch(const QString& number, const QDateTime& receivedAt)
{
    showNumber(number);
    openAndRecord(number, receivedAt);
}

void CallDispatch::followedCall(const QString& number, const QDateTime& /*calldate*/)
{
    showNumber(number);
    openPage(number);
}

void CallDispatch::openPage(const QString& number)
{
    if (isExactlyTrue(m_state.urlSettings.browse))
        m_launcher.OpenUrlInBrowser(callerPageUrl(m_state.urlSettings.path1, number));
}

void CallDispatch::journal(const QString& number, const QDateTime& receivedAt)
{
    if (isExactlyTrue(m_state.urlSettings.history))
        m_history.journal(number, receivedAt);
}

void CallDispatch::showNumber(const QString& number)
{
    if (m_display)
        m_display->setRecvData(number);
}

void CallDispatch::openAndRecord(const QString& number, const QDateTime& receivedAt)
{
    // Read the flags at the moment of the call: the URL dialog may have changed them since
    // the last notification.
    openPage(number);
    if (isExactlyTrue(m_state.urlSettings.history))
        m_history.WriteCallHistory(number, receivedAt);
}
