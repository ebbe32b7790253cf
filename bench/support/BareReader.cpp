#include "BareReader.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace BareReader {

Result readNotifications(int fd, char terminator, char last, qsizetype count, std::chrono::milliseconds patience)
{
    Result result;
    qsizetype terminators = 0;
    bool awaitingLast = false;
    char buffer[4096];
    for (;;) {
        pollfd descriptor{fd, POLLIN, 0};
        const int ready = ::poll(&descriptor, 1, static_cast<int>(patience.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (descriptor.revents & POLLIN) == 0)
            return result;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            return result;
        result.bytes += n;
        for (ssize_t i = 0; i < n; ++i) {
            const char b = buffer[i];
            if (!awaitingLast && b == terminator && ++terminators == count) {
                result.terminatorAt = Clock::now();
                awaitingLast = true;
                if (last == terminator) {
                    result.complete = true;
                    return result;
                }
            } else if (awaitingLast && b == last) {
                result.complete = true;
                return result;
            }
        }
    }
}

} // namespace BareReader
