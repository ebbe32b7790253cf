#pragma once

#include "calls/CallHistory.h"
#include "support/CallEventLog.h"

#include <QStringList>

/// Records the numbers instead of writing the history database.
class RecordingCallHistory final : public CallHistory
{
public:
    explicit RecordingCallHistory(CallEventLog* log = nullptr)
        : m_log(log)
    {}

    void WriteCallHistory(const QString& number) override
    {
        numbers.append(number);
        if (m_log)
            m_log->add("history", number);
    }

    QStringList numbers;

private:
    CallEventLog* m_log = nullptr;
};
