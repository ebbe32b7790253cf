#pragma once

#include <chrono>

/// The one place where the program blocks its thread for a fixed time. While a pause runs,
/// nothing is processed: received bytes wait in the port. Tests record the pauses instead
/// of sleeping.
class Pauser
{
public:
    virtual ~Pauser() = default;
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

/// The real pause: sleeps the calling thread.
class ThreadPauser final : public Pauser
{
public:
    void pause(std::chrono::milliseconds duration) override;
};
