// Preloaded into a process (LD_PRELOAD) to give it a slow disk: every fsync and fdatasync
// first waits CHAKUSHIN_FSYNC_DELAY_MS milliseconds (10 when unset), as on a busy disk.

#include <cstdlib>
#include <ctime>

#include <dlfcn.h>

namespace {

void delay()
{
    static const long ms = [] {
        const char* given = std::getenv("CHAKUSHIN_FSYNC_DELAY_MS");
        return given ? std::atol(given) : 10L;
    }();
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
    }
}

using Sync = int (*)(int);

Sync next(const char* name)
{
    return reinterpret_cast<Sync>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    static const Sync real = next("fsync");
    delay();
    return real(fd);
}

extern "C" int fdatasync(int fd)
{
    static const Sync real = next("fdatasync");
    delay();
    return real(fd);
}
