#pragma once

#include "app/MessageBoxes.h"
#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"

/// Starts the desktop's HTML program (`findBrowserCommand`) detached, with the URL as one
/// argument and no shell in between. Shows "Could not find associated Browser" /
/// "Browser Not Found" when no program is associated and "Web Page not Opened" /
/// "URL Failed" when it cannot be started; returns normally in every case.
class DesktopBrowserLauncher final : public BrowserLauncher
{
public:
    DesktopBrowserLauncher(const SharedState& state, MessageBoxes& boxes);

    void OpenUrlInBrowser(const QString& url) override;

private:
    const SharedState& m_state;
    MessageBoxes& m_boxes;
};
