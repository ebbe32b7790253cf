#pragma once

#include "history/Arrival.h"

#include <QDateTime>
#include <QString>

/// Appends one row (the caller's number and the local date and time of the call) to the call
/// history. Reports its own failures; the call always returns normally.
class CallHistory
{
public:
    virtual ~CallHistory() = default;
    /// Keeps a call's row safe the moment the call is read, before anything is shown or
    /// opened, without waiting for a disk; the entry's key (0 when nothing is kept), which
    /// `WriteCallHistory` then gets with the call.
    virtual qint64 journal(const QString& /*number*/, const QDateTime& /*calldate*/) { return 0; }
    /// Writes the call's row: the journal entry `arrival` names, or a new one with `number`
    /// and the arrival time when it names none.
    virtual void WriteCallHistory(const QString& number, const Arrival& arrival) = 0;
};
