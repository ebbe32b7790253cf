#pragma once

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

/// What a person did with a call, as the history's events table keeps it. Events are only ever
/// added; what a call has come to is read from all of its events in order (`progressOf`).
struct CallEvent
{
    enum class Kind
    {
        Claim,      ///< 対応します: the person takes the call (one per call, the database sees to it)
        Message,    ///< 伝言: a message about the call for `to`, with `text` and `callBack`
        CalledBack, ///< 折り返し済み
        Done,       ///< 完了
    };

    /// The event's key; it grows with each event written.
    qint64 id = 0;
    /// The key of the call's history row.
    qint64 callId = 0;
    Kind kind = Kind::Claim;
    /// Who did it: the person at the desk.
    QString person{};
    /// A message's recipient, its text, and whether the caller wants to be called back.
    QString to{};
    QString text{};
    bool callBack = false;
    /// When it was written, local time.
    QDateTime at{};
    /// The call's number and date text ("YYYY-MM-DD HH:MM:SS") as its history row holds them;
    /// filled in when events are read for a desk to be told of.
    QString number{};
    QString calldate{};

    bool operator==(const CallEvent&) const = default;
};

/// The kind as the table stores it ("claim", "message", "calledback", "done"), and back.
QString kindText(CallEvent::Kind kind);
std::optional<CallEvent::Kind> kindOf(const QString& text);

/// What a call has come to, read from its events in the order they were written.
struct CallProgress
{
    enum class State
    {
        Open,          ///< 未対応: nobody has done anything yet
        Claimed,       ///< 対応中
        Message,       ///< 伝言あり: a message no one has closed, no call-back wanted
        AwaitCallBack, ///< 折り返し待ち: a message wanting a call-back that no one has closed
        Done,          ///< 完了: called back or done, and no message since
    };

    State state = State::Open;
    /// Who took the call; empty when nobody has.
    QString claimer;
    /// The newest message as people read it (「Cさんへ: text」); empty without one.
    QString memo;
    /// The recipients of the messages still open (no 折り返し済み or 完了 after them).
    std::vector<QString> openFor;

    bool isOpenFor(const QString& person) const;
    bool operator==(const CallProgress&) const = default;
};

/// Folds a call's events, oldest first. A message is open until a 折り返し済み or a 完了 comes
/// after it.
CallProgress progressOf(const std::vector<CallEvent>& events);
/// 「未対応」, 「対応中」, 「伝言あり」, 「折り返し待ち」, 「完了」.
QString stateText(CallProgress::State state);
/// 「○○さん」: how a person is named to others.
QString honorific(const QString& person);
