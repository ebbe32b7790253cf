#pragma once

#include "calls/CallDisplay.h"
#include "support/CallEventLog.h"

#include <QStringList>

/// Stands in for the main window's `txtRecvData`: keeps its text and every value it was set to.
class FakeCallDisplay final : public CallDisplay
{
public:
    explicit FakeCallDisplay(CallEventLog* log = nullptr)
        : m_log(log)
    {}

    void setRecvData(const QString& number) override
    {
        text = number;
        values.append(number);
        if (m_log)
            m_log->add("display", number);
    }

    void setCaller(const std::optional<Caller>& shown) override { caller = shown; }

    QString text;
    QStringList values;
    std::optional<Caller> caller;

private:
    CallEventLog* m_log = nullptr;
};
