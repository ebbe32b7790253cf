#include "startup/Program.h"

#include "calls/DesktopBrowserLauncher.h"

namespace {

SharedState stateFor(const QString& appDir)
{
    SharedState state;
    state.appDir = appDir;
    return state;
}

} // namespace

Program::Program(const QString& appDir, ProgramSeams programSeams)
    : state(stateFor(appDir))
    , seams(programSeams)
    , m_ownBrowser(seams.browser ? nullptr : std::make_unique<DesktopBrowserLauncher>(state, seams.messageBoxes))
    , history(state, seams.messageBoxes)
    , receive(state, seams.messageBoxes, seams.browser ? *seams.browser : *m_ownBrowser, history)
    , comm(state, seams.messageBoxes, seams.pauser, receive)
{}

// The window goes before the serial link it is attached to.
Program::~Program()
{
    m_window.reset();
}

frmTerminal& Program::loadMainWindow()
{
    if (!m_window) {
        m_window =
            std::make_unique<frmTerminal>(state, seams.messageBoxes, seams.pauser, comm, receive, seams.tray, openers);
    }
    return *m_window;
}
