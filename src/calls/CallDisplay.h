#pragma once

#include "calls/CallerNames.h"

#include <QString>

#include <optional>

/// Where the call dispatch shows the caller's number: the main window's `txtRecvData`.
class CallDisplay
{
public:
    virtual ~CallDisplay() = default;
    virtual void setRecvData(const QString& number) = 0;
    /// Who the number shown belongs to, set with each number shown: nothing when there is no
    /// phone book, or the number is no number (a reason code, nothing).
    virtual void setCaller(const std::optional<Caller>& /*caller*/) {}
};
