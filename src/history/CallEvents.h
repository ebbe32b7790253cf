#pragma once

#include "history/CallEvent.h"
#include "history/CallEventStore.h"
#include "history/QueuedRelay.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

class QThread;

/// What the people at this desk do with calls, and what those at the others do, in the
/// history's database (a file, or the office's PostgreSQL server), on a thread of its own so
/// that nothing here holds up a call or a window. On the server every event is announced, and
/// `arrived` tells of it within moments; the events written while the server was away, or
/// whose announcement was lost, are read with each count of the day's calls, so none is missed. Events asked for while
/// the database cannot be reached wait, in order, and are written once it can. Lives on the user-interface thread, and
/// reports there.
class CallEvents final : public QObject
{
    Q_OBJECT

public:
    enum class Status
    {
        Off,   ///< no database set, or no events table in it
        Ready, ///< connected
        Away,  ///< the database cannot be reached: what is asked for waits
    };

    struct Timing
    {
        /// Between two attempts to reach the database, and between two checks that it is there.
        std::chrono::milliseconds retry{3000};
        /// Between two counts of the day's waiting calls (they are also counted after each event),
        /// each with a look for events no announcement told of.
        std::chrono::milliseconds recount{5000};
        /// Between two looks for the row of a call that is still being written.
        std::chrono::milliseconds rowWait{300};
    };

    /// Which call: the key of its row, or while the desk does not know it yet (its own call,
    /// whose row is on its way) the number and the local date and time of the call.
    struct CallRef
    {
        qint64 id = 0;
        QString number{};
        QDateTime calldate{};
    };

    /// How a write ended: the event written (with its key and call), or for a claim that
    /// another person won, who that is; or an error for people.
    struct Written
    {
        CallEvent event;
        QString claimer{};
        QString error{};

        bool ok() const { return error.isEmpty() && claimer.isEmpty(); }
    };
    using Done = std::function<void(const Written&)>;

    explicit CallEvents(QObject* parent = nullptr);
    ~CallEvents() override;

    /// Follows the events of the history `target` for `person`, the person at this desk (whose
    /// messages are counted). Empty target: none. The same target and person again change
    /// nothing.
    void open(const QString& target, const QString& person);
    void close();
    const QString& target() const { return m_target; }
    const QString& person() const { return m_person; }
    void setTiming(Timing timing) { m_timing = timing; }

    Status status() const { return m_status; }
    /// Whether the history has an events table (or is yet to be reached).
    bool isOn() const { return m_status != Status::Off; }
    /// The day's calls nobody has done anything with, and those with a message open for the person.
    const CallCounts& counts() const { return m_counts; }
    /// The people seen at the office's desks, most recently seen first.
    const QStringList& people() const { return m_people; }

    /// 対応します: one person takes the call; who else asks is told who won.
    void claim(const CallRef& call, Done done = {});
    void leaveMessage(const CallRef& call, const QString& to, const QString& text, bool callBack, Done done = {});
    void markCalledBack(const CallRef& call, Done done = {});
    void markDone(const CallRef& call, Done done = {});
    /// Counts the day's waiting calls again now (the desk's own calls are written after they are
    /// shown, so this is done every `Timing::recount` too).
    void recount();

Q_SIGNALS:
    /// An event any desk wrote (on a file, this desk), once, with its call's number and date.
    void arrived(const CallEvent& event);
    void countsChanged(const CallCounts& counts);
    void statusChanged(CallEvents::Status status);
    void peopleChanged();

private:
    class Worker;

    void write(const CallRef& call, CallEvent event, Done done);
    void post(std::function<void(Worker&)> work);
    void moveTo(Status status);

    QString m_target;
    QString m_person;
    Timing m_timing;
    Status m_status = Status::Off;
    CallCounts m_counts;
    QStringList m_people;
    std::shared_ptr<QueuedRelay> m_relay;
    QThread* m_thread = nullptr;
    Worker* m_worker = nullptr;
};
