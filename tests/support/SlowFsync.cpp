// Preloaded into a process (LD_PRELOAD) to give it a slow disk: every fsync and fdatasync
// first waits CHAKUSHIN_FSYNC_DELAY_MS milliseconds (10 when unset), as on a busy disk.

#include <cstdlib>
#include <ctime>

#include <dlfcn.h>

static int delayed(const char* name, int fd)
{
    static const long ms =
        std::getenv("CHAKUSHIN_FSYNC_DELAY_MS") ? std::atol(std::getenv("CHAKUSHIN_FSYNC_DELAY_MS")) : 10;
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
    }
    return reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, name))(fd);
}

extern "C" int fsync(int fd)
{
    return delayed("fsync", fd);
}
extern "C" int fdatasync(int fd)
{
    return delayed("fdatasync", fd);
}
