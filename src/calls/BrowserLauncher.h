#pragma once

#include <QString>

/// Opens a URL in the program the desktop associates with HTML documents. The one real
/// implementation reports its own failures in message boxes; tests record the URLs.
class BrowserLauncher
{
public:
    virtual ~BrowserLauncher() = default;
    virtual void OpenUrlInBrowser(const QString& url) = 0;
};
