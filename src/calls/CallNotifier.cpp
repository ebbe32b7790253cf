#include "calls/CallNotifier.h"

#include "history/HistoryDatabase.h"

bool CallNotice::isAbout(const CallEvent& event) const
{
    if (callId != 0)
        return callId == event.callId;
    return number == event.number && HistoryDatabase::dateTimeText(calldate) == event.calldate;
}
