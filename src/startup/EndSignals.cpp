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

struct EndSignals::Previous
{
    int signalNumber;
    struct sigaction action;
};

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
    for (const int signalNumber : kSignals) {
        Previous previous{signalNumber, {}};
        // Whoever started the program ignored it on purpose (nohup: keep running after the
        // terminal hangs up).
        if (::sigaction(signalNumber, nullptr, &previous.action) != 0 || previous.action.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signalNumber, &action, nullptr) == 0)
            m_previous.push_back(previous);
    }
}

EndSignals::~EndSignals()
{
    // A signal after this point is handled as before the program took it over: by default,
    // the program ends at once.
    for (const Previous& previous : m_previous)
        ::sigaction(previous.signalNumber, &previous.action, nullptr);
}

void EndSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        emit endRequested(byte);
}

#else

struct EndSignals::Previous
{};

EndSignals::EndSignals(QObject* parent)
    : QObject(parent)
{}

EndSignals::~EndSignals() = default;

void EndSignals::readSignal() {}

#endif
