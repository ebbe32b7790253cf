#pragma once

#include <QDateTime>
#include <QString>

/// Appends one row (the caller's number and the local date and time of the call) to the call
/// history. Reports its own failures; the call always returns normally.
class CallHistory
{
public:
    virtual ~CallHistory() = default;
    /// Keeps a call's row safe the moment the call is read, before anything is shown or
    /// opened; `WriteCallHistory` with the same number and time then writes that row.
    virtual void journal(const QString& /*number*/, const QDateTime& /*calldate*/) {}
    virtual void WriteCallHistory(const QString& number, const QDateTime& calldate) = 0;
};
