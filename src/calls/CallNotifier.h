#pragma once

#include <QDateTime>
#include <QString>

/// A call to tell the user of, beside the page the browser opens.
struct CallNotice
{
    QString number;
    QDateTime calldate;
    /// The caller's page as the call opened it; empty when no URL is set up.
    QString pageUrl;
};

/// Tells the user of each call on the desktop. The real one uses the desktop's notification
/// service, else the tray; it reports nothing and fails for nobody.
class CallNotifier
{
public:
    virtual ~CallNotifier() = default;
    virtual void announce(const CallNotice& notice) = 0;
};
