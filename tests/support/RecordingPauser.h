#pragma once

#include "app/Pause.h"

#include <chrono>
#include <functional>
#include <vector>

/// Records the pauses instead of sleeping, unless `sleeps`. `onPause` lets a test act at the
/// moment a pause would block (for example, have the adapter answer during it).
class RecordingPauser final : public Pauser
{
public:
    void pause(std::chrono::milliseconds duration) override
    {
        pauses.push_back(duration);
        if (onPause)
            onPause(duration);
        if (sleeps)
            ThreadPauser().pause(duration);
    }

    std::vector<std::chrono::milliseconds> pauses;
    std::function<void(std::chrono::milliseconds)> onPause;
    bool sleeps = false;
};
