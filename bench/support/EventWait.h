#pragma once

#include <QEventLoop>
#include <QTimer>

#include <chrono>

/// This thread's event loop, run until a condition holds or a time has passed. Whatever may
/// make the condition true quits `loop`, so that it is looked at again.
struct EventWait
{
    EventWait()
    {
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    }

    /// Whether `done` holds, run for at most `patience`.
    template<typename Done> bool until(Done done, std::chrono::milliseconds patience)
    {
        guard.start(patience);
        while (!done() && guard.isActive())
            loop.exec();
        guard.stop();
        return done();
    }

    QEventLoop loop;
    QTimer guard;
};
