#include "calls/CallFollower.h"

#include "app/Settings.h"
#include "calls/CallDispatch.h"
#include "calls/FollowProblem.h"
#include "history/HistoryDatabase.h"
#include "history/PostgresUri.h"
#include "history/QueuedRelay.h"

#include <algorithm>

namespace {

QString callKey(const QString& number, const QDateTime& calldate)
{
    return HistoryDatabase::dateTimeText(calldate) + u' ' + number.left(HistoryDatabase::kAnnouncedNumberLength);
}

} // namespace

CallFollower::CallFollower(SharedState& state, CallDispatch& dispatch, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_dispatch(dispatch)
{
    const auto tell = [this](const QString& text) {
        emit notice(text);
    };
    connect(this, &CallFollower::problemChanged, this, tell);
    connect(this, &CallFollower::missed, this, [tell](int count) {
        tell(QStringLiteral("接続が切れていた間などの着信 %1 件は、ページを開いていません。着信履歴にあります。")
                 .arg(count));
    });
}

CallFollower::~CallFollower()
{
    stop();
}

void CallFollower::start()
{
    stop();
    m_uri = m_state.followSettings.uri.trimmed();
    DebugLog(m_state, QStringLiteral("following %1").arg(withoutPassword(m_uri)));
    m_missed = 0;
    m_problem.clear();
    // Each connection reports through a relay of its own, which a stop detaches, and each
    // report carries the session it belongs to: one already queued when the connection was
    // stopped is dropped when it comes, so that it neither opens a page nor changes the state
    // of a later session (or of none, during the unload).
    m_relay = std::make_shared<QueuedRelay>(this);
    const auto report = [this, relay = m_relay, session = m_session](std::function<void()> work) {
        relay->post([this, session, work = std::move(work)] {
            if (session == m_session)
                work();
        });
    };
    FollowConnection::Events events{
        [this, report](bool again, const QList<AnnouncedCall>& missed) {
            report([this, again, missed] { listening(again, missed); });
        },
        [this, report](const QString& why) { report([this, why] { lost(why); }); },
        [this, report](const AnnouncedCall& call) { report([this, call] { announced(call); }); },
    };
    moveTo(State::Connecting);
    m_connection = std::make_unique<FollowConnection>(m_uri, std::move(events), m_timing);
}

void CallFollower::stop()
{
    ++m_session;
    if (m_relay)
        m_relay->detach();
    m_relay.reset();
    if (!m_connection)
        return;
    m_connection.reset();
    DebugLog(m_state, QStringLiteral("following stopped"));
    moveTo(State::Off);
}

void CallFollower::listening(bool again, const QList<AnnouncedCall>& missed)
{
    m_problem.clear();
    int count = 0;
    for (const AnnouncedCall& call : missed)
        count += isOwn(call) ? 0 : 1;
    DebugLog(m_state, QStringLiteral("listening for calls%1")
                          .arg(again ? QStringLiteral(" again, %1 missed").arg(count) : QString()));
    moveTo(State::Listening);
    if (count > 0) {
        m_missed += count;
        emit this->missed(count);
    }
}

QString CallFollower::problemText() const
{
    return m_followState == State::Reconnecting && !m_problem.isEmpty() ? followProblemText(m_uri, m_problem)
                                                                        : QString();
}

void CallFollower::lost(const QString& why)
{
    // libpq's reasons may quote the URI as written, or the part of it it could not read.
    const QString reason = withoutPasswordOf(m_uri, why);
    if (reason != m_problem || m_followState != State::Reconnecting)
        DebugLog(m_state, QStringLiteral("following: %1").arg(reason));
    const QString told = problemText();
    m_problem = reason;
    moveTo(State::Reconnecting);
    if (const QString text = problemText(); !text.isEmpty() && text != told)
        emit problemChanged(text);
}

void CallFollower::keptHere(const QString& number, const QDateTime& calldate)
{
    m_keptHere.push_back(callKey(number, calldate));
    if (m_keptHere.size() > kKeptCallsRemembered)
        m_keptHere.pop_front();
}

bool CallFollower::isOwn(const AnnouncedCall& call) const
{
    return std::find(m_keptHere.begin(), m_keptHere.end(), callKey(call.number, call.calldate)) != m_keptHere.end();
}

void CallFollower::followStandby(bool standbyOn)
{
    const bool on = standbyOn && followsCalls(m_state);
    if (on && !isRunning())
        start();
    else if (!on && isRunning())
        stop();
}

bool CallFollower::settingsChanged(bool standbyOn, bool portOpen)
{
    stop();
    const bool stays = !standbyOn || portOpen || followsCalls(m_state);
    followStandby(standbyOn && stays);
    return stays;
}

bool CallFollower::standsInForAdapter() const
{
    return followsWithoutAdapter(m_state);
}

bool CallFollower::standsBy() const
{
    return !standsInForAdapter() || m_followState == State::Listening;
}

QString CallFollower::trayTip() const
{
    const QString& name = m_state.systemSettings.appName;
    switch (m_followState) {
    case State::Off:
        return name;
    case State::Connecting:
        return name + QStringLiteral("\n着信のフォロー先に接続しています…");
    case State::Reconnecting:
        return name + QStringLiteral("\n着信のフォロー先に接続し直しています…") +
               (problemText().isEmpty() ? QString() : u'\n' + problemText());
    case State::Listening:
        break;
    }
    return name + QStringLiteral("\n着信をフォローしています") +
           (m_missed > 0 ? QStringLiteral("（開いていない着信 %1 件は着信履歴にあります）").arg(m_missed) : QString());
}

void CallFollower::announced(const AnnouncedCall& call)
{
    if (isOwn(call)) {
        DebugLog(m_state, QStringLiteral("announced call %1 is this desk's own").arg(call.id));
        return;
    }
    if (call.late) {
        // Kept at the other desk while the history could not be reached: its caller is gone.
        DebugLog(m_state, QStringLiteral("announced call %1 was written late").arg(call.id));
        ++m_missed;
        emit missed(1);
        return;
    }
    DebugLog(m_state, QStringLiteral("announced call %1").arg(call.id));
    m_dispatch.followedCall(call.number, call.calldate, call.name, call.id);
    emit followed(call.number, call.calldate);
}

void CallFollower::moveTo(State state)
{
    if (state == m_followState)
        return;
    m_followState = state;
    emit stateChanged(state);
}
