#pragma once

#include "calls/CallerNames.h"

#include <QDateTime>
#include <QString>

#include <optional>

/// A call to tell the user of, beside the page the browser opens.
struct CallNotice
{
    /// As the adapter sent it, and as people read it (`CallerNumber::shown`).
    QString number;
    QString shown;
    QDateTime calldate;
    /// The caller's page as the call opened it; empty when no URL is set up, or when the call
    /// opened none for want of a number, or because the caller is a nuisance.
    QString pageUrl;
    /// Who the phone book says is calling; nothing when there is no phone book.
    std::optional<Caller> caller = {};
};

/// Tells the user of each call on the desktop. The real one uses the desktop's notification
/// service, else the tray; it reports nothing and fails for nobody.
class CallNotifier
{
public:
    virtual ~CallNotifier() = default;
    virtual void announce(const CallNotice& notice) = 0;
};
