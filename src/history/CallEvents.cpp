#include "history/CallEvents.h"

#include "history/WorkerThread.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QTimer>

#include <deque>

namespace {

// A server may commit an event after one with a higher key: after an absence the newest keys
// seen are read again, so that such an event still arrives.
constexpr qint64 kLateCommits = 50;
// The most events read at once after an absence.
constexpr int kCatchUp = 500;
// How long a write waits for its call's row on a database that answers, before it is given up.
constexpr std::chrono::seconds kRowPatience{60};

QString unwritten()
{
    return QStringLiteral("この着信は履歴にまだ書き込まれていません");
}

} // namespace

/// Owns the store, in the events' thread: writes what the desk asks for, in order, follows the
/// announcements, counts the day's waiting calls, and checks that the database is still there.
class CallEvents::Worker final : public QObject
{
public:
    Worker(CallEvents& owner, const QString& target, QString person, Timing timing, std::shared_ptr<QueuedRelay> relay)
        : m_owner(owner)
        , m_store(target)
        , m_person(std::move(person))
        , m_relay(std::move(relay))
    {
        m_retry.setInterval(timing.retry);
        m_recount.setInterval(timing.recount);
        m_rowWait.setSingleShot(true);
        m_rowWait.setInterval(timing.rowWait);
        QObject::connect(&m_retry, &QTimer::timeout, this, [this] { check(); });
        QObject::connect(&m_recount, &QTimer::timeout, this, [this] { catchUp(); });
        QObject::connect(&m_rowWait, &QTimer::timeout, this, [this] { flush(); });
    }

    void start()
    {
        m_retry.start();
        m_recount.start();
        reach();
    }

    void write(const CallRef& call, CallEvent event, Done done)
    {
        m_pending.push_back({call, std::move(event), std::move(done)});
        flush();
    }

    /// Reads what no announcement told of (one lost with a connection that broke unnoticed, or
    /// an event another program wrote to a file, which announces nothing) and the people seen;
    /// then counts.
    void catchUp()
    {
        if (!m_ready)
            return;
        const auto missed = m_store.eventsAbove(std::max<qint64>(0, m_newest - kLateCommits), kCatchUp);
        const auto people = m_store.people();
        if (!missed || !people) {
            lost();
            return;
        }
        deliver(*missed);
        report([people = *people](CallEvents& owner) {
            if (people != owner.m_people) {
                owner.m_people = people;
                Q_EMIT owner.peopleChanged();
            }
        });
        recount();
    }

    void recount()
    {
        if (!m_ready)
            return;
        const auto counts = m_store.counts(QDate::currentDate(), m_person);
        if (!counts) {
            lost();
            return;
        }
        report([counts = *counts](CallEvents& owner) {
            if (counts != owner.m_counts) {
                owner.m_counts = counts;
                Q_EMIT owner.countsChanged(counts);
            }
        });
    }

private:
    struct Pending
    {
        CallRef call;
        CallEvent event;
        Done done;
        /// Since when the call's row has been looked for on a database that answers.
        QDeadlineTimer patience{QDeadlineTimer::Forever};
    };

    void report(std::function<void(CallEvents&)> work)
    {
        m_relay->post([owner = &m_owner, work = std::move(work)] { work(*owner); });
    }

    /// Connects, listens, notes the person, and reads what was written while away.
    void reach()
    {
        if (!m_store.connect() || !m_store.listen([this](qint64 id) { announced(id); })) {
            lost();
            return;
        }
        // The people of an office's desks, for the message dialog; a file has one desk, and
        // nothing is written to it unasked (it may be a share that stalls).
        if (m_store.onServer())
            m_store.seen(m_person);
        if (m_newest < 0) {
            // Events written before the desk came are history, not news.
            const auto newest = m_store.newest();
            if (!newest) {
                lost();
                return;
            }
            m_newest = m_floor = *newest;
        }
        m_ready = true;
        report([](CallEvents& owner) { owner.moveTo(Status::Ready); });
        catchUp();
        flush();
    }

    void lost()
    {
        m_ready = false;
        const bool missing = m_store.missing();
        m_store.disconnect();
        report([missing](CallEvents& owner) { owner.moveTo(missing ? Status::Off : Status::Away); });
    }

    /// A connection lost goes unnoticed on a server that announces nothing meanwhile: it is
    /// asked.
    void check()
    {
        if (!m_ready)
            reach();
        else if (m_store.onServer() && !m_store.ping())
            lost();
    }

    void announced(qint64 id)
    {
        if (m_seen.contains(id))
            return;
        const auto events = m_store.events({id});
        if (!events) {
            lost();
            return;
        }
        deliver(*events);
        recount();
    }

    /// Tells of each event not told of yet.
    void deliver(const std::vector<CallEvent>& events)
    {
        for (const CallEvent& event : events) {
            if (event.id <= m_floor || m_seen.contains(event.id))
                continue;
            m_seen.insert(event.id);
            m_newest = std::max(m_newest, event.id);
            report([event](CallEvents& owner) { Q_EMIT owner.arrived(event); });
        }
        if (m_seen.size() > 4 * kCatchUp)
            m_seen.removeIf([this](qint64 id) { return id < m_newest - 2 * kLateCommits; });
    }

    /// Writes what waits, in order, for as long as the database answers.
    void flush()
    {
        while (m_ready && !m_pending.empty()) {
            Pending& next = m_pending.front();
            if (next.call.id == 0 && !findRow(next))
                return;
            next.event.callId = next.call.id;
            const auto added = m_store.add(next.event);
            if (!added && m_store.isConnected()) {
                // Refused (a desk that may only read): writing it again cannot succeed.
                finish({next.event, {}, m_store.lastError()});
                continue;
            }
            if (!added) {
                lost();
                return;
            }
            Written written{next.event};
            written.event.id = added->id;
            if (added->id == 0 && added->claimer != m_person)
                written.claimer = added->claimer;
            // Written: it is done, whatever happens to the reading back (what is not read now
            // arrives with the next count).
            const auto events = added->id != 0 ? m_store.events({added->id}) : std::vector<CallEvent>{};
            if (events && !events->empty()) {
                written.event = events->front();
                deliver(*events);
            }
            finish(written);
            if (!events && !m_store.isConnected()) {
                lost();
                return;
            }
        }
        if (m_ready)
            recount();
    }

    /// The key of the row of a call known by number and date; false while it is not there yet.
    bool findRow(Pending& pending)
    {
        const auto key = m_store.callKey(pending.call.number, HistoryDatabase::dateTimeText(pending.call.calldate));
        if (!key) {
            lost();
            return false;
        }
        if (*key != 0) {
            pending.call.id = *key;
            return true;
        }
        if (pending.patience.isForever())
            pending.patience.setRemainingTime(kRowPatience);
        if (!pending.patience.hasExpired()) {
            m_rowWait.start();
            return false;
        }
        // Given up; the next is tried on the next round.
        finish({pending.event, {}, unwritten()});
        m_rowWait.start();
        return false;
    }

    void finish(Written written)
    {
        Done done = std::move(m_pending.front().done);
        m_pending.pop_front();
        if (done)
            m_relay->post([done = std::move(done), written = std::move(written)] { done(written); });
    }

    CallEvents& m_owner;
    CallEventStore m_store;
    QString m_person;
    std::shared_ptr<QueuedRelay> m_relay;
    // Children, so that they move to the thread with the worker.
    QTimer m_retry{this};
    QTimer m_recount{this};
    QTimer m_rowWait{this};
    std::deque<Pending> m_pending;
    bool m_ready = false;
    /// The highest event key told of; -1 before the database was first reached.
    qint64 m_newest = -1;
    /// The highest key when it was first reached: events up to it are history, not news.
    qint64 m_floor = 0;
    QSet<qint64> m_seen;
};

CallEvents::CallEvents(QObject* parent)
    : QObject(parent)
{}

CallEvents::~CallEvents()
{
    blockSignals(true);
    close();
}

void CallEvents::open(const QString& target, const QString& person)
{
    if (target == m_target && person == m_person && (m_thread || target.isEmpty()))
        return;
    close();
    m_target = target;
    m_person = person;
    if (m_target.isEmpty())
        return;
    m_relay = std::make_shared<QueuedRelay>(this);
    m_worker = new Worker(*this, m_target, m_person, m_timing, m_relay);
    m_thread = startWorkerThread(m_worker, QStringLiteral("call events"));
    // Until the database says otherwise, what is asked for waits for it.
    moveTo(Status::Away);
    post([](Worker& worker) { worker.start(); });
}

void CallEvents::close()
{
    if (m_thread) {
        m_relay->detach();
        stopWorkerThread(m_thread);
        m_thread = nullptr;
        m_worker = nullptr;
    }
    m_target.clear();
    m_counts = {};
    Q_EMIT countsChanged(m_counts);
    moveTo(Status::Off);
}

void CallEvents::post(std::function<void(Worker&)> work)
{
    if (!m_worker)
        return;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, work = std::move(work)] { work(*worker); }, Qt::QueuedConnection);
}

void CallEvents::moveTo(Status status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

void CallEvents::write(const CallRef& call, CallEvent event, Done done)
{
    if (!m_worker) {
        if (done)
            done({event, {}, QStringLiteral("履歴のデータベースが設定されていません")});
        return;
    }
    event.person = m_person;
    post([call, event = std::move(event), done = std::move(done)](Worker& worker) mutable {
        worker.write(call, std::move(event), std::move(done));
    });
}

void CallEvents::claim(const CallRef& call, Done done)
{
    write(call, {.kind = CallEvent::Kind::Claim}, std::move(done));
}

void CallEvents::leaveMessage(const CallRef& call, const QString& to, const QString& text, bool callBack, Done done)
{
    write(call, {.kind = CallEvent::Kind::Message, .to = to.trimmed(), .text = text, .callBack = callBack},
          std::move(done));
}

void CallEvents::markCalledBack(const CallRef& call, Done done)
{
    write(call, {.kind = CallEvent::Kind::CalledBack}, std::move(done));
}

void CallEvents::markDone(const CallRef& call, Done done)
{
    write(call, {.kind = CallEvent::Kind::Done}, std::move(done));
}

void CallEvents::recount()
{
    post([](Worker& worker) { worker.recount(); });
}
