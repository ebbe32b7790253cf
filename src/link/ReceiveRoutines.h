#pragma once

#include <QString>

/// The three receive routines that the serial link hands complete lines and frames to,
/// one at a time and in arrival order.
class ReceiveRoutines
{
public:
    virtual ~ReceiveRoutines() = default;

    /// Line framing, `kind` exactly "INS".
    virtual void rcvProcess(const QString& line) = 0;
    /// Line framing, any other `kind`.
    virtual void rcvProcessA(const QString& line) = 0;
    /// Control-code framing.
    virtual void rcvProcessT1(const QString& frame) = 0;
};
