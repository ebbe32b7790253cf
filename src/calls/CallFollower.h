#pragma once

#include "calls/FollowConnection.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>

class CallDispatch;
class QueuedRelay;
struct SharedState;

/// A desk following the office's calls: while it runs, each call the history at
/// `[FOLLOW] uri` announces is shown and opened here as a call of this desk's own
/// (`CallDispatch::followedCall`), without a history row of its own. A call this desk kept
/// itself (`keptHere`) is not opened again. Calls written while the connection was lost, or
/// written late by their desk, are counted instead of opened: their callers are gone. The
/// connection lives on a thread of its own; this object lives on the user-interface thread
/// and reports there.
///
/// It also holds following's part of standby: it follows while standby is on, and on a desk
/// with no adapter of its own standby is the listening alone. The main window shows what it
/// says (`standsBy`, `trayTip`, `notice`).
class CallFollower final : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Off,
        Connecting,
        Listening,
        /// The connection is lost or cannot be made; a new one is tried every few seconds.
        Reconnecting,
    };

    CallFollower(SharedState& state, CallDispatch& dispatch, QObject* parent = nullptr);
    ~CallFollower() override;

    /// Starts following the URI of the settings in memory; a running follower starts again.
    void start();
    /// Stops following; what the connection reported and this thread has not handled yet
    /// is dropped.
    void stop();
    bool isRunning() const { return m_connection != nullptr; }
    State state() const { return m_followState; }
    /// Why the last connection was lost or could not be made (password hidden); empty while
    /// listening.
    QString problem() const { return m_problem; }
    /// The problem told to the user (followProblemText) while reconnecting; empty otherwise.
    QString problemText() const;
    /// Calls of other desks not opened since the last start: written while the connection
    /// was lost, or written late.
    int missedCalls() const { return m_missed; }

    void setTiming(FollowConnection::Timing timing) { m_timing = timing; }

    /// Standby is on or off now: follows while it is on and `[FOLLOW]` says so.
    void followStandby(bool standbyOn);
    /// The following settings in memory have changed: following starts again over them. False
    /// when standby cannot stay on: it was the listening alone (no port of its own is open)
    /// and the desk follows no more.
    bool settingsChanged(bool standbyOn, bool portOpen);
    /// Whether standby is the listening alone: the desk follows and has no adapter configured.
    bool standsInForAdapter() const;
    /// Whether a standby that is on stands by: on a desk that only follows, only while it listens.
    bool standsBy() const;
    /// The tray's tip: the program's name, and under it what following does.
    QString trayTip() const;

    /// This desk kept a call (number, local time to the second) itself: its announcement
    /// opens nothing here. The latest `kKeptCallsRemembered` are remembered.
    void keptHere(const QString& number, const QDateTime& calldate);
    static constexpr std::size_t kKeptCallsRemembered = 1000;

Q_SIGNALS:
    void stateChanged(CallFollower::State state);
    /// `count` more calls of other desks that were not opened (see missedCalls).
    void missed(int count);
    /// A call of another desk has been shown and opened.
    void followed(const QString& number, const QDateTime& calldate);
    /// problemText() has appeared or changed; not again for each attempt that fails the same way.
    void problemChanged(const QString& text);
    /// Something to tell in the tray: the problem as it changes, the calls not opened.
    void notice(const QString& text);

private:
    void listening(bool again, const QList<AnnouncedCall>& missed);
    void lost(const QString& why);
    void announced(const AnnouncedCall& call);
    bool isOwn(const AnnouncedCall& call) const;
    void moveTo(State state);

    SharedState& m_state;
    CallDispatch& m_dispatch;
    /// This desk's own calls, as far as an announcement carries them.
    std::deque<QString> m_keptHere;
    FollowConnection::Timing m_timing;
    /// The URI followed since the last start.
    QString m_uri;
    State m_followState = State::Off;
    QString m_problem;
    int m_missed = 0;
    /// Counts the stops: a report of the connection belongs to the session it was made in.
    quint64 m_session = 0;
    std::shared_ptr<QueuedRelay> m_relay;
    std::unique_ptr<FollowConnection> m_connection;
};
