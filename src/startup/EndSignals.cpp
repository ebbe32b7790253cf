#include "startup/EndSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler may only write to a pipe; the event loop reads the other end.
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void onEndSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

EndSignals::EndSignals(QObject* parent)
    : QObject(parent)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

EndSignals::~EndSignals()
{
    // Back to the default: a signal after this point ends the program at once.
    for (const int signalNumber : kSignals)
        ::signal(signalNumber, SIG_DFL);
}

void EndSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit endRequested(byte);
}

#else

EndSignals::EndSignals(QObject* parent)
    : QObject(parent)
{}

EndSignals::~EndSignals() = default;

void EndSignals::readSignal() {}

#endif
