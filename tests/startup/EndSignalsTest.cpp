// The end signals inside this test process: what asks the program to end, and what is left once it no longer listens.

#include "startup/EndSignals.h"

#include "support/ProcessEventsUntil.h"

#include <QList>

#include <csignal>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

extern "C" void starterHandler(int) {}

using Handler = void (*)(int);

Handler handlerOf(int signalNumber)
{
    struct sigaction current = {};
    ::sigaction(signalNumber, nullptr, &current);
    return current.sa_handler;
}

} // namespace

// SIGHUP as the program finds it: by default and with its starter's handler it asks to end; under nohup (ignored) it
// stays ignored. Either way, once EndSignals is gone, SIGHUP is handled as it was before.
TEST(EndSignals, SighupAsTheProgramFoundIt)
{
    const Handler originalHup = ::signal(SIGHUP, SIG_DFL);
    const Handler originalTerm = ::signal(SIGTERM, SIG_DFL);
    // clang-format off
    const struct { const char* name; Handler before; QList<int> asked; } rows[] = {
        {"default", SIG_DFL, {SIGHUP, SIGTERM}},
        {"a starter's handler", starterHandler, {SIGHUP, SIGTERM}},
        {"nohup", SIG_IGN, {SIGTERM}},
    };
    // clang-format on
    for (const auto& row : rows) {
        ::signal(SIGHUP, row.before);
        {
            EndSignals ending;
            QList<int> asked;
            QObject::connect(&ending, &EndSignals::endRequested, [&asked](int signalNumber) { asked << signalNumber; });
            ::raise(SIGHUP);
            ::raise(SIGTERM); // once its request is in, SIGHUP's would be in too
            ASSERT_TRUE(processEventsUntil([&] { return asked.contains(SIGTERM); }, 5s)) << row.name;
            EXPECT_EQ(asked, row.asked) << row.name;
        }
        EXPECT_EQ((std::pair{handlerOf(SIGHUP), handlerOf(SIGTERM)}), std::pair(row.before, Handler(SIG_DFL)))
            << row.name;
    }
    ::signal(SIGHUP, originalHup);
    ::signal(SIGTERM, originalTerm);
}
