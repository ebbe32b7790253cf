// Preloaded into a process (LD_PRELOAD) to give it a slow disk or a stalling share:
// - every fsync and fdatasync first waits CHAKUSHIN_FSYNC_DELAY_MS milliseconds (10 when unset), as on a busy disk;
// - one of a file whose path contains CHAKUSHIN_FSYNC_STALL_MATCH waits, besides, for as long as the file
//   CHAKUSHIN_FSYNC_STALL_WHILE exists, as a commit on a network share that stops answering.

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

bool stalls(int fd)
{
    const char* match = std::getenv("CHAKUSHIN_FSYNC_STALL_MATCH");
    const char* control = std::getenv("CHAKUSHIN_FSYNC_STALL_WHILE");
    if (!match || !control || access(control, F_OK) != 0)
        return false;
    char path[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    return length > 0 && std::strstr(path, match) != nullptr;
}

int delayed(const char* name, int fd)
{
    static const long ms =
        std::getenv("CHAKUSHIN_FSYNC_DELAY_MS") ? std::atol(std::getenv("CHAKUSHIN_FSYNC_DELAY_MS")) : 10;
    sleepFor(ms);
    if (stalls(fd)) {
        const char* control = std::getenv("CHAKUSHIN_FSYNC_STALL_WHILE");
        while (access(control, F_OK) == 0)
            sleepFor(10);
    }
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
