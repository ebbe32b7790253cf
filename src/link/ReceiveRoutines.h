#pragma once

#include "app/SettingsRecords.h"
#include "app/SharedState.h"
#include "history/Arrival.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

/// The routine an adapter's reads go to: control-code framing when `ctrlcode` is exactly
/// "TRUE", "true" or "True", otherwise line framing, for ISDN when `kind` is exactly "INS".
enum class ReceiveRoutine
{
    Isdn,
    Analog,
    ControlCode
};

inline ReceiveRoutine receiveRoutineFor(const AdapterProfile& profile)
{
    const QString& c = profile.ctrlcode;
    if (c == u"TRUE" || c == u"true" || c == u"True")
        return ReceiveRoutine::ControlCode;
    return profile.kind == u"INS" ? ReceiveRoutine::Isdn : ReceiveRoutine::Analog;
}

/// What the receive routines and the serial link hand each other about the adapter's
/// replies: the outcome the waiting command exchange looks for, the question being
/// answered, and an answer to the standby watchdog's poll.
struct ReplyExchange
{
    ReplyStatus status = ReplyStatus::Waiting;
    /// The model an identification reply named and its entry in the list (0: none).
    QString detectedModel;
    std::int16_t detectedModelIndex = 0;
    /// The CTI query being answered (1 to 5), and what the answers said of each port.
    std::int16_t ctiQueryIndex = 1;
    std::array<QString, 3> ctiSettings;
    /// The watchdog's answer in the line just handled, for the link to take.
    std::optional<WatchAck> watchAnswer;
};

/// The three receive routines that the serial link hands complete lines and frames to,
/// one at a time and in arrival order, each with the local time at which it arrived and the
/// journal entry its call got when it was read.
class ReceiveRoutines
{
public:
    virtual ~ReceiveRoutines() = default;

    /// Line framing, `kind` exactly "INS".
    virtual void rcvProcess(const QString& line, const Arrival& arrival) = 0;
    /// Line framing, any other `kind`.
    virtual void rcvProcessA(const QString& line, const Arrival& arrival) = 0;
    /// Control-code framing.
    virtual void rcvProcessT1(const QString& frame, const Arrival& arrival) = 0;
    /// Each complete line (`frame` false) or frame the moment it has been read, in arrival
    /// order, before any routine sees it: a routine may still be busy with an earlier one.
    /// Shows nothing, opens nothing and never waits. The key of the journal entry it made,
    /// 0 for none, comes back with the line to its routine.
    virtual qint64 lineRead(const QString& /*text*/, bool /*frame*/, const QDateTime& /*receivedAt*/) { return 0; }

    /// What the routines made of the replies, shared with the link that hands them lines.
    ReplyExchange& reply() { return m_reply; }

private:
    ReplyExchange m_reply;
};
