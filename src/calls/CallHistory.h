#pragma once

#include <QString>

/// Appends one row (the caller's number, the current local date and time) to the call
/// history. Reports its own failures; the call always returns normally.
class CallHistory
{
public:
    virtual ~CallHistory() = default;
    virtual void WriteCallHistory(const QString& number) = 0;
};
