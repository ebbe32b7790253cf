#pragma once

#include "calls/CallNotifier.h"
#include "support/CallEventLog.h"

#include <vector>

/// Stands in for the desktop's notifications: logs each call announced as "notify:<the number as shown> <page>".
struct LoggedNotifier final : CallNotifier
{
    explicit LoggedNotifier(CallEventLog* eventLog)
        : log(eventLog)
    {}
    void announce(const CallNotice& notice) override
    {
        log->add("notify", notice.shown + u' ' + notice.pageUrl);
        notices.push_back(notice);
    }
    CallEventLog* log;
    std::vector<CallNotice> notices;
};
