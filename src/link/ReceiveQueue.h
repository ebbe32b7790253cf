#pragma once

#include "link/ReceiveAssembler.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>

/// What the port has delivered and the receive routines have not had yet. The bytes of each
/// read are stamped with the local time they were taken and cut into lines or frames at once;
/// they are handed on one read at a time, in arrival order, never while an earlier one is
/// still being handled (a routine's message box runs its own event loop) nor while a command
/// goes out. An unfinished line followed by kFragmentSilence of silence is dropped.
class ReceiveQueue : public QObject
{
    Q_OBJECT

public:
    /// An adapter sends a line in one burst. An unfinished line or frame followed by this much
    /// silence is line noise and is dropped, so that it cannot prefix the next line.
    static constexpr auto kFragmentSilence = std::chrono::milliseconds(1000);
    /// While a read is being handled, what arrives is read this often, so that each line keeps
    /// the time at which it came.
    static constexpr auto kHeldReadInterval = std::chrono::milliseconds(100);

    /// The bytes of one read, when they were taken from the port, and the complete lines or
    /// frames they finished.
    struct Event
    {
        QByteArray bytes;
        QDateTime receivedAt;
        bool controlCode = false;
        QList<QByteArray> units;
        /// Each unit's journal entry, 0 for none.
        QList<qint64> journalKeys;
    };

    /// What the queue needs of the serial link.
    class Link
    {
    public:
        virtual ~Link() = default;
        /// Everything waiting on the port; empty when there is nothing or the port is closed.
        virtual QByteArray readWaiting() = 0;
        /// Bytes waiting on the port, the driver's included.
        virtual qint64 bytesWaiting() const = 0;
        virtual bool controlCodeFraming() const = 0;
        /// Each line or frame the moment it has been cut out, before its read is handled; the
        /// key of the journal entry it made, if any, which its handling gets.
        virtual qint64 unitRead(const QByteArray& unit, bool controlCode, const QDateTime& receivedAt) = 0;
        virtual void handle(const Event& event) = 0;
        /// Whatever has waited has been handled.
        virtual void handlingDone() = 0;
        virtual void fragmentDropped(const QByteArray& fragment) = 0;
    };

    explicit ReceiveQueue(Link& link, QObject* parent = nullptr);

    /// Reads what waits, and handles it unless a command goes out or a read is being handled:
    /// then whoever holds them works through it afterwards.
    void arrived();
    /// Forgets a partial line or frame (a new session must not get it as a prefix).
    void restart();
    /// Reads what waits and forgets it with everything unhandled; returns how many reads that were.
    std::size_t drop();
    /// Something is read and not yet handled, or still on the port, or being handled.
    bool waits() const;
    bool isHandling() const { return m_handling; }

    /// While a command goes out, nothing is handled; what came meanwhile is handled afterwards.
    void beginSend() { ++m_sending; }
    void endSend();

private:
    void take();
    void handleWaiting();
    void silenceElapsed();

    Link& m_link;
    ReceiveAssembler m_assembler;
    std::deque<Event> m_events;
    bool m_handling = false;
    int m_sending = 0;
    QTimer m_heldReader;
    QTimer m_silence;
};
