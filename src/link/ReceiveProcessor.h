#pragma once

#include "calls/CallDispatch.h"
#include "link/ReceiveRoutines.h"

#include <QString>

#include <optional>

class MessageBoxes;
struct SharedState;

/// Decides what each complete adapter line or frame means in the current `rcvMode`:
/// identification reply (INITIAL), CTI information reply (GETAINFO), incoming call or
/// watchdog answer (IDLE). Every other mode ignores the line. The outcome goes to the
/// reply exchange that the serial link reads, or to the call dispatch it is given.
///
/// No failure leaves a routine: each one is reported in a message box (OK button, no icon)
/// as the routine's label followed by a description, and the flags not yet assigned keep
/// their values so that a waiting exchange ends by its time-out.
class ReceiveProcessor final : public ReceiveRoutines
{
public:
    ReceiveProcessor(SharedState& state, MessageBoxes& messageBoxes, CallDispatch& dispatch);

    void rcvProcess(const QString& line, const Arrival& arrival) override;
    void rcvProcessA(const QString& line, const Arrival& arrival) override;
    void rcvProcessT1(const QString& frame, const Arrival& arrival) override;
    /// An incoming call read while standing by is kept for the history at once.
    qint64 lineRead(const QString& text, bool frame, const QDateTime& receivedAt) override;

private:
    using Outcome = std::optional<CallFailure>;
    template<typename Body> void trapped(const QString& label, Body&& body);

    Outcome isdnInitial(const QString& line);
    Outcome isdnGetAInfo(const QString& line);
    Outcome isdnIdle(const QString& line, const Arrival& arrival);
    Outcome analogInitial(const QString& line);
    Outcome analogIdle(const QString& line, const Arrival& arrival);
    Outcome t1Initial(const QString& frame);
    Outcome t1Idle(const QString& frame, const Arrival& arrival);

    Outcome storeCtiCode(const QString& rest);
    /// The IDLE rules of both line-framed routines. True when the line is a notification.
    bool isNotification(const QString& line) const;
    void watchdogAnswer(const QString& line);

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    CallDispatch& m_dispatch;
};
