// Preloaded into a process (LD_PRELOAD) to give it a slow disk or a stalling share: every fsync and fdatasync first
// waits CHAKUSHIN_FSYNC_DELAY_MS milliseconds (10 when unset), as on a busy disk; one of a file whose path contains
// CHAKUSHIN_FSYNC_STALL_MATCH then waits as long as the file CHAKUSHIN_FSYNC_STALL_WHILE exists, as a commit on a
// network share that stops answering.

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <dlfcn.h>
#include <unistd.h>

namespace {

void sleepFor(long ms)
{
    timespec left{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
    }
}

int delayed(const char* name, int fd)
{
    static const long ms =
        std::getenv("CHAKUSHIN_FSYNC_DELAY_MS") ? std::atol(std::getenv("CHAKUSHIN_FSYNC_DELAY_MS")) : 10;
    sleepFor(ms);
    const char* match = std::getenv("CHAKUSHIN_FSYNC_STALL_MATCH");
    const char* stall = std::getenv("CHAKUSHIN_FSYNC_STALL_WHILE");
    char path[4096] = {};
    if (match && *match && stall &&
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1) > 0 &&
        std::strstr(path, match))
        while (access(stall, F_OK) == 0)
            sleepFor(10);
    return reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, name))(fd);
}

} // namespace

extern "C" int fsync(int fd)
{
    return delayed("fsync", fd);
}
extern "C" int fdatasync(int fd)
{
    return delayed("fdatasync", fd);
}
