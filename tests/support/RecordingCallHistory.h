#pragma once

#include "history/CallHistory.h"
#include "support/CallEventLog.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

/// Records the numbers instead of writing the history database.
class RecordingCallHistory final : public CallHistory
{
public:
    explicit RecordingCallHistory(CallEventLog* log = nullptr)
        : m_log(log)
    {}

    void WriteCallHistory(const QString& number, const Arrival& arrival) override
    {
        numbers.append(number);
        calldates.append(arrival.at);
        if (m_log)
            m_log->add("history", number);
    }

    QStringList numbers;
    QList<QDateTime> calldates;

private:
    CallEventLog* m_log = nullptr;
};
