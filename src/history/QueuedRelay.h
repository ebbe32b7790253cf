#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <mutex>
#include <utility>

/// Carries work from a worker thread to `receiver`'s thread for as long as the receiver's
/// owner has not detached it; work posted afterwards, or still queued when the receiver
/// goes, is dropped. Shared by the owner and the worker, so a worker left running at the
/// end (held up by a database that does not answer) reports to nobody.
class QueuedRelay
{
public:
    explicit QueuedRelay(QObject* receiver)
        : m_receiver(receiver)
    {}

    void post(std::function<void()> work)
    {
        const std::lock_guard lock(m_mutex);
        if (m_receiver)
            QMetaObject::invokeMethod(m_receiver, std::move(work), Qt::QueuedConnection);
    }
    void detach()
    {
        const std::lock_guard lock(m_mutex);
        m_receiver = nullptr;
    }

private:
    std::mutex m_mutex;
    QObject* m_receiver;
};
