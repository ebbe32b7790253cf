#pragma once

#include <QString>

/// Where the call dispatch shows the caller's number: the main window's `txtRecvData`.
class CallDisplay
{
public:
    virtual ~CallDisplay() = default;
    virtual void setRecvData(const QString& number) = 0;
};
