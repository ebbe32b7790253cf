#pragma once

#include "calls/CallNotifier.h"
#include "support/CallEventLog.h"

/// Stands in for the desktop's notifications: logs each call announced as "notify:<the number as shown> <page>".
struct LoggedNotifier final : CallNotifier
{
    explicit LoggedNotifier(CallEventLog* eventLog)
        : log(eventLog)
    {}
    void announce(const CallNotice& notice) override { log->add("notify", notice.shown + u' ' + notice.pageUrl); }
    CallEventLog* log;
};
