#include "app/Pause.h"

#include <thread>

void ThreadPauser::pause(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}
