#include "BenchPauser.h"

#include <thread>

void BenchPauser::pause(std::chrono::milliseconds duration)
{
    m_total += duration;
    ++m_count;
    if (m_sleeping)
        std::this_thread::sleep_for(duration);
}

void BenchPauser::reset()
{
    m_total = std::chrono::milliseconds{0};
    m_count = 0;
}
