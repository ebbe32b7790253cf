#pragma once

#include <QDateTime>
#include <QString>

/// Appends one row (the caller's number and the local date and time of the call) to the call
/// history. Reports its own failures; the call always returns normally.
class CallHistory
{
public:
    virtual ~CallHistory() = default;
    virtual void WriteCallHistory(const QString& number, const QDateTime& calldate) = 0;
};
