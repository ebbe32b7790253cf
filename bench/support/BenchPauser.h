#pragma once

#include "app/Pause.h"

#include <chrono>

/// The program's blocking pauses, either recorded without blocking (to measure the path
/// without the protocol's fixed waits) or really slept.
class BenchPauser final : public Pauser
{
public:
    void pause(std::chrono::milliseconds duration) override;

    void setSleeping(bool sleeping) { m_sleeping = sleeping; }
    /// The sum of all pauses asked for since the last reset.
    std::chrono::milliseconds total() const { return m_total; }
    int count() const { return m_count; }
    void reset();

private:
    bool m_sleeping = false;
    std::chrono::milliseconds m_total{0};
    int m_count = 0;
};
