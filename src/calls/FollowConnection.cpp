#include "calls/FollowConnection.h"

#include "history/HistoryDatabase.h"
#include "history/PostgresUri.h"

#include <libpq-fe.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <QSet>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

#ifdef _WIN32
// How often a wait looks whether it should stop.
constexpr auto kStopCheck = 100ms;
#endif
// How long stopping waits for the thread to end before leaving it to end by itself.
constexpr auto kStopWait = 300ms;

void ignoreNotice(void*, const char*) {}

QString errorOf(const PGconn* connection)
{
    return QString::fromUtf8(PQerrorMessage(connection)).trimmed();
}

struct Result
{
    explicit Result(PGresult* result = nullptr)
        : result(result)
    {}
    ~Result() { PQclear(result); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* result;
};

} // namespace

struct FollowConnection::Context
{
    QString uri;
    Events events;
    Timing timing;

    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stopping{false};
    bool finished = false;
#ifndef _WIN32
    /// Written once to end a wait at once when stopping.
    int wakeRead = -1;
    int wakeWrite = -1;
#endif

    Context()
    {
#ifndef _WIN32
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
            wakeRead = ends[0];
            wakeWrite = ends[1];
        }
#endif
    }
    ~Context()
    {
#ifndef _WIN32
        for (const int end : {wakeRead, wakeWrite})
            if (end >= 0)
                close(end);
#endif
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    void requestStop()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
#ifndef _WIN32
        if (wakeWrite >= 0) {
            [[maybe_unused]] const auto written = write(wakeWrite, "x", 1);
        }
#endif
    }
    /// Waits at most `wait` for something to read on the connection; false after the time
    /// or when stopping.
    bool waitForInput(std::chrono::milliseconds wait);

    PGconn* connection = nullptr;
    /// The newest row known, once one connection has read it; -1 before.
    qint64 lastSeen = -1;
    /// Rows read after a reconnect whose announcements may still come.
    QSet<qint64> readAlready;
    QList<AnnouncedCall> pending;

    void run();
    bool connect();
    void disconnect()
    {
        PQfinish(std::exchange(connection, nullptr));
    }
    /// Sleeps `wait`, or less when asked to stop.
    void sleep(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, wait, [this] { return stopping.load(); });
    }
    /// Reads what has arrived and keeps the announcements in `pending`. False when the
    /// connection is gone.
    bool consume();
    void announcePending();
    /// Runs `sql` with `parameters` and waits at most `answerWait` for the result; null,
    /// with `why` set, when it failed or did not come.
    std::unique_ptr<Result> ask(const char* sql, const QList<QByteArray>& parameters, QString& why);
    bool listen(QString& why);
    void listenUntilLost();
};

bool FollowConnection::Context::waitForInput(std::chrono::milliseconds wait)
{
    const int socket = PQsocket(connection);
    wait = std::max(wait, 1ms);
#ifdef _WIN32
    WSAPOLLFD entry{static_cast<SOCKET>(socket), POLLRDNORM, 0};
    return !stopping && WSAPoll(&entry, 1, int(std::min(wait, kStopCheck).count())) > 0;
#else
    pollfd entries[] = {{socket, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    return !stopping && poll(entries, wakeRead >= 0 ? 2 : 1, int(wait.count())) > 0 && !stopping &&
           entries[0].revents != 0;
#endif
}

bool FollowConnection::Context::consume()
{
    if (!PQconsumeInput(connection))
        return false;
    while (PGnotify* notify = PQnotifies(connection)) {
        if (qstrcmp(notify->relname, HistoryDatabase::kCallChannel) == 0) {
            if (const std::optional<AnnouncedCall> call = parseCallAnnouncement(QByteArray(notify->extra)))
                pending.append(*call);
        }
        PQfreemem(notify);
    }
    return true;
}

void FollowConnection::Context::announcePending()
{
    for (const AnnouncedCall& call : std::exchange(pending, {})) {
        if (readAlready.remove(call.id))
            continue;
        lastSeen = std::max(lastSeen, call.id);
        events.announced(call);
    }
}

std::unique_ptr<Result> FollowConnection::Context::ask(const char* sql, const QList<QByteArray>& parameters,
                                                       QString& why)
{
    std::vector<const char*> values;
    for (const QByteArray& parameter : parameters)
        values.push_back(parameter.constData());
    if (!PQsendQueryParams(connection, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0)) {
        why = errorOf(connection);
        return nullptr;
    }
    const Clock::time_point deadline = Clock::now() + timing.answerWait;
    while (PQisBusy(connection)) {
        if (stopping || Clock::now() >= deadline) {
            why = stopping ? QStringLiteral("stopped") : QStringLiteral("the server does not answer");
            return nullptr;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (waitForInput(left) && !consume()) {
            why = errorOf(connection);
            return nullptr;
        }
    }
    auto result = std::make_unique<Result>(PQgetResult(connection));
    // The rest of the answer (there is none for one statement) up to its end.
    while (PGresult* more = PQgetResult(connection))
        PQclear(more);
    const ExecStatusType status = PQresultStatus(result->result);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        why = QString::fromUtf8(PQresultErrorMessage(result->result)).trimmed();
        return nullptr;
    }
    return result;
}

bool FollowConnection::Context::connect()
{
    // The URI's own settings win over these defaults: later keywords override earlier ones,
    // and "dbname" is expanded in place.
    const QByteArray connectTimeout = QByteArray::number(HistoryDatabase::kConnectTimeout.count());
    const QByteArray expanded = uri.toUtf8();
    const char* keywords[] = {"connect_timeout",     "application_name", "keepalives_idle",
                              "keepalives_interval", "dbname",           nullptr};
    const char* values[] = {connectTimeout.constData(), "chakushin-follow", "5", "2", expanded.constData(), nullptr};
    connection = PQconnectdbParams(keywords, values, 1);
    // The server's notices (its farewell at a shutdown among them) are not for the user; a
    // lost connection is reported with its reason.
    PQsetNoticeProcessor(connection, ignoreNotice, nullptr);
    return PQstatus(connection) == CONNECTION_OK;
}

bool FollowConnection::Context::listen(QString& why)
{
    if (!ask(QByteArray("LISTEN ").append(HistoryDatabase::kCallChannel).constData(), {}, why))
        return false;
    const bool again = lastSeen >= 0;
    QList<AnnouncedCall> missed;
    if (!again) {
        const std::unique_ptr<Result> newest = ask(HistoryDatabase::newestIdStatement().toLatin1(), {}, why);
        if (!newest)
            return false;
        lastSeen = QByteArray(PQgetvalue(newest->result, 0, 0)).toLongLong();
    } else {
        const std::unique_ptr<Result> rows =
            ask(HistoryDatabase::rowsAboveStatement(10000).toLatin1(), {QByteArray::number(lastSeen)}, why);
        if (!rows)
            return false;
        readAlready.clear();
        for (int row = 0; row < PQntuples(rows->result); ++row) {
            AnnouncedCall call{
                QByteArray(PQgetvalue(rows->result, row, 0)).toLongLong(),
                QString::fromUtf8(PQgetvalue(rows->result, row, 1)),
                HistoryDatabase::dateTimeFromText(QString::fromLatin1(PQgetvalue(rows->result, row, 2)))};
            lastSeen = std::max(lastSeen, call.id);
            // A row announced while it was read came in after the listening began: it is
            // opened, not counted.
            const bool announced = std::any_of(pending.begin(), pending.end(),
                                               [&](const AnnouncedCall& seen) { return seen.id == call.id; });
            if (!announced) {
                readAlready.insert(call.id);
                missed.append(call);
            }
        }
    }
    events.listening(again, missed);
    announcePending();
    return true;
}

void FollowConnection::Context::listenUntilLost()
{
    QString why;
    if (!listen(why)) {
        if (!stopping)
            events.lost(why);
        return;
    }
    Clock::time_point lastHeard = Clock::now();
    while (!stopping) {
        const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastHeard);
        if (waitForInput(timing.heartbeat - quiet)) {
            if (!consume()) {
                events.lost(errorOf(connection));
                return;
            }
            lastHeard = Clock::now();
            announcePending();
        } else if (Clock::now() - lastHeard >= timing.heartbeat) {
            // A quiet connection may be one to a server that no longer answers.
            if (!ask("SELECT 1", {}, why)) {
                if (!stopping)
                    events.lost(why);
                return;
            }
            lastHeard = Clock::now();
            announcePending();
        }
    }
}

void FollowConnection::Context::run()
{
    while (!stopping) {
        if (connect())
            listenUntilLost();
        else if (!stopping)
            events.lost(errorOf(connection));
        disconnect();
        pending.clear();
        if (!stopping)
            sleep(timing.retry);
    }
}

FollowConnection::FollowConnection(const QString& uri, Events events, Timing timing)
    : m_context(std::make_shared<Context>())
{
    m_context->uri = uri;
    m_context->events = std::move(events);
    m_context->timing = timing;
    m_thread = std::thread([context = m_context] {
#ifndef _WIN32
        // libpq's reasons, and the C library's it quotes, in English on this thread whatever the desktop's language:
        // they are told apart by their words (followProblemText).
        locale_t english = nullptr;
        if (const locale_t desktop = duplocale(LC_GLOBAL_LOCALE)) {
            english = newlocale(LC_MESSAGES_MASK, "C", desktop);
            if (!english)
                freelocale(desktop);
        }
        if (english)
            uselocale(english);
#endif
        context->run();
#ifndef _WIN32
        if (english) {
            uselocale(LC_GLOBAL_LOCALE);
            freelocale(english);
        }
#endif
        const std::lock_guard lock(context->mutex);
        context->finished = true;
        context->wake.notify_all();
    });
}

FollowConnection::~FollowConnection()
{
    m_context->requestStop();
    std::unique_lock lock(m_context->mutex);
    if (m_context->wake.wait_for(lock, kStopWait, [this] { return m_context->finished; })) {
        lock.unlock();
        m_thread.join();
    } else {
        // The thread holds the context: one held up in a connection attempt finishes on its
        // own.
        lock.unlock();
        m_thread.detach();
    }
}
