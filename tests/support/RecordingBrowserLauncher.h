#pragma once

#include "app/MessageBoxes.h"
#include "calls/BrowserLauncher.h"
#include "support/CallEventLog.h"

#include <QStringList>

#include <stdexcept>

/// Records the URLs instead of starting a browser. It can also play the launcher's two
/// kinds of failure: one it reports itself in a message box (`failWithMessage`), and one
/// it does not handle and lets escape (`throwUnhandled`, like a temporary file that
/// cannot be written).
class RecordingBrowserLauncher final : public BrowserLauncher
{
public:
    explicit RecordingBrowserLauncher(CallEventLog* log = nullptr)
        : m_log(log)
    {}

    void OpenUrlInBrowser(const QString& url) override
    {
        urls.append(url);
        if (m_log)
            m_log->add("browser", url);
        if (throwUnhandled)
            throw std::runtime_error("temphtm.HTM cannot be written");
        if (failWithMessage)
            failWithMessage->show(QStringLiteral("Could not find associated Browser"),
                                  QStringLiteral("Browser Not Found"), MessageBoxes::Icon::Exclamation,
                                  MessageBoxes::Buttons::Ok);
    }

    QStringList urls;
    MessageBoxes* failWithMessage = nullptr;
    bool throwUnhandled = false;

private:
    CallEventLog* m_log = nullptr;
};
