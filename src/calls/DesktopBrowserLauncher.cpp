#include "calls/DesktopBrowserLauncher.h"

#include "app/Settings.h"
#include "calls/BrowserCommand.h"
#include "calls/DetachedProcess.h"

#include <QStandardPaths>

DesktopBrowserLauncher::DesktopBrowserLauncher(const SharedState& state, MessageBoxes& boxes)
    : m_state(state)
    , m_boxes(boxes)
{}

void DesktopBrowserLauncher::OpenUrlInBrowser(const QString& url)
{
    const std::optional<BrowserCommand> command = findBrowserCommand(url);
    if (!command) {
        DebugLog(m_state, QStringLiteral("no program associated with text/html"));
        m_boxes.show(QStringLiteral("Could not find associated Browser"), QStringLiteral("Browser Not Found"),
                     MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
        return;
    }
    // A bare name is looked up on PATH here, so a missing program fails the same way
    // whether or not it contains a slash.
    QString program = command->program;
    if (!program.isEmpty() && !program.contains(u'/'))
        program = QStandardPaths::findExecutable(program);
    DebugLog(m_state, QStringLiteral("browser: %1 %2").arg(command->program, command->arguments.join(u' ')));
    if (program.isEmpty() || !startDetachedProcess(program, command->arguments).isEmpty()) {
        m_boxes.show(QStringLiteral("Web Page not Opened"), QStringLiteral("URL Failed"),
                     MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
    }
}
