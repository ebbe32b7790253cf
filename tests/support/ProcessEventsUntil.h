#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>

/// Processes this thread's events until `done()` holds or `patience` is over; returns
/// whether it holds.
template<typename Condition> bool processEventsUntil(Condition done, std::chrono::milliseconds patience)
{
    const QDeadlineTimer deadline(patience);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}
