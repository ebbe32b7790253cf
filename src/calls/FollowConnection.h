#pragma once

#include "history/CallAnnouncements.h"

#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

/// A following desk's connection to the office's PostgreSQL history, on a thread of its own:
/// it listens on the calls' channel, reports each announced call, and when the connection
/// is lost (a server restart, the network, a server that stops answering) it makes a new one
/// every `retry` until it has one.
///
/// After a new connection it reads which rows were written while it had none, so that they
/// can be counted instead of opened late. A row is reported once: by its announcement, or
/// among those read after a reconnect, never both.
class FollowConnection
{
public:
    struct Timing
    {
        /// Between two attempts to connect.
        std::chrono::milliseconds retry{3000};
        /// How long the connection may be quiet before the server is asked whether it is there.
        std::chrono::milliseconds heartbeat{5000};
        /// How long the server has to answer a question before the connection counts as lost.
        std::chrono::milliseconds answerWait{5000};
    };

    /// Called on the connection's thread.
    struct Events
    {
        /// Listening now. `again`: after a lost connection, with the rows written meanwhile
        /// (oldest first); on the first connection nothing is read and `missed` is empty.
        std::function<void(bool again, const QList<AnnouncedCall>& missed)> listening;
        /// The connection could not be made or was lost; a new one is tried after `retry`.
        std::function<void(const QString& why)> lost;
        std::function<void(const AnnouncedCall& call)> announced;
    };

    /// Starts connecting to `uri` at once.
    FollowConnection(const QString& uri, Events events, Timing timing);
    /// Stops listening. Does not wait for a connection attempt held up by the server: that
    /// ends on its own time-out, and reports to nobody.
    ~FollowConnection();

    FollowConnection(const FollowConnection&) = delete;
    FollowConnection& operator=(const FollowConnection&) = delete;

    struct Context;

private:
    std::shared_ptr<Context> m_context;
    std::thread m_thread;
};
