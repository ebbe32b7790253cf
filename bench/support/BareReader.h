#pragma once

#include <QtGlobal>

#include <chrono>

/// The floor under the receive path: wait on the port's descriptor with poll() and read
/// what arrives, nothing else. It reads the program's own descriptor while the program is
/// not running its event loop, so both see exactly the same line.
namespace BareReader {

using Clock = std::chrono::steady_clock;

struct Result
{
    bool complete = false;
    /// When the `count`-th terminating byte had been read.
    Clock::time_point terminatorAt;
    qsizetype bytes = 0;
};

/// Reads `fd` until `count` terminating bytes have arrived and the trailing byte `last`
/// after the final one (the LF after a CR; equal to `terminator` when nothing trails).
/// Gives up when nothing arrives for `patience`.
Result readNotifications(int fd, char terminator, char last, qsizetype count, std::chrono::milliseconds patience);

} // namespace BareReader
