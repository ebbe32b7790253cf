#include "link/ReceiveQueue.h"

#include <utility>

ReceiveQueue::ReceiveQueue(Link& link, QObject* parent)
    : QObject(parent)
    , m_link(link)
{
    m_heldReader.setInterval(kHeldReadInterval);
    m_silence.setInterval(kFragmentSilence);
    m_silence.setSingleShot(true);
    connect(&m_heldReader, &QTimer::timeout, this, &ReceiveQueue::take);
    connect(&m_silence, &QTimer::timeout, this, &ReceiveQueue::silenceElapsed);
}

// Lines are cut out as they are read, and each is announced at once: a call is kept before
// anything can hold up its turn.
void ReceiveQueue::take()
{
    QByteArray bytes = m_link.readWaiting();
    if (bytes.isEmpty())
        return;
    Event event{std::move(bytes), QDateTime::currentDateTime(), m_link.controlCodeFraming(), {}, {}};
    event.units = m_assembler.feed(event.bytes, event.controlCode ? ReceiveAssembler::Framing::ControlCode
                                                                  : ReceiveAssembler::Framing::Line);
    if (m_assembler.pending().isEmpty())
        m_silence.stop();
    else
        m_silence.start();
    for (const QByteArray& unit : std::as_const(event.units))
        event.journalKeys.append(m_link.unitRead(unit, event.controlCode, event.receivedAt));
    m_events.push_back(std::move(event));
}

void ReceiveQueue::arrived()
{
    take();
    // While a command goes out, nothing received is processed: the sender has its pauses to
    // keep, and an acknowledgement must not be sent in the middle of another command. While a
    // routine is busy with a line, the lines after it wait for it. Either way the outermost
    // caller works through what has come meanwhile.
    if (m_sending == 0 && !m_handling)
        handleWaiting();
}

void ReceiveQueue::handleWaiting()
{
    if (m_sending > 0 || m_handling)
        return;
    m_handling = true;
    // A routine's message box runs its own event loop, inside Qt's receive signal; Qt does not
    // signal again from there, so what arrives meanwhile is fetched by the clock.
    m_heldReader.start();
    for (;;) {
        if (m_events.empty()) {
            take();
            if (m_events.empty())
                break;
        }
        const Event event = std::move(m_events.front());
        m_events.pop_front();
        m_link.handle(event);
    }
    m_heldReader.stop();
    m_handling = false;
    m_link.handlingDone();
}

void ReceiveQueue::endSend()
{
    if (--m_sending > 0 || m_handling || m_events.empty())
        return;
    // What came in while the command went out is handled once the sender has its result.
    QMetaObject::invokeMethod(this, &ReceiveQueue::handleWaiting, Qt::QueuedConnection);
}

void ReceiveQueue::restart()
{
    m_assembler.clear();
    m_silence.stop();
}

std::size_t ReceiveQueue::drop()
{
    take();
    const std::size_t dropped = m_events.size();
    m_events.clear();
    return dropped;
}

bool ReceiveQueue::waits() const
{
    return m_handling || !m_events.empty() || m_link.bytesWaiting() > 0;
}

void ReceiveQueue::silenceElapsed()
{
    if (m_assembler.pending().isEmpty())
        return;
    // Bytes already here may be the rest of it, held up while the thread was busy; they are
    // assembled as they are read and restart the clock.
    if (m_link.bytesWaiting() > 0)
        return;
    m_link.fragmentDropped(m_assembler.pending());
    m_assembler.clear();
}
