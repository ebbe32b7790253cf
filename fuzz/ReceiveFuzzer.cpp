// The byte stream from the adapter: line and frame assembly plus the three receive routines,
// in every receive mode and framing, with recording stand-ins for the message boxes, the
// browser, the history and the display. Checks that every complete line is handed on once
// and in order (against a plain model of the framing rules), that the partial line stays
// bounded, and that the shared flags only ever take the values they are defined with.

#include "app/SharedState.h"
#include "link/ReceiveAssembler.h"
#include "link/ReceiveProcessor.h"

#include "support/FakeCallDisplay.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/ScriptedMessageBoxes.h"

#include <QDateTime>
#include <QList>
#include <QStringDecoder>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kCr = 0x0d;

// The framing rules as plainly as they can be said, one receive event at a time.
class ModelAssembler
{
public:
    QList<QByteArray> feed(QByteArrayView bytes, ReceiveAssembler::Framing framing)
    {
        QList<QByteArray> done;
        for (const char b : bytes) {
            if (framing == ReceiveAssembler::Framing::Line) {
                if (static_cast<unsigned char>(b) >= 32)
                    append(b);
                else if (b == kCr && !m_line.isEmpty())
                    done.append(std::exchange(m_line, {}));
            } else if (b == kStx) {
                m_line.clear();
            } else if (b == kEtx) {
                if (!m_line.isEmpty())
                    done.append(m_line);
                m_line.clear();
                break;
            } else {
                append(b);
            }
        }
        return done;
    }

private:
    void append(char b)
    {
        if (m_line.size() < ReceiveAssembler::kMaxLineBytes)
            m_line.append(b);
    }

    QByteArray m_line;
};

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Every mode the program sets, and one it never does.
constexpr std::array<RcvMode, 6> kModes = {RcvMode::Initial, RcvMode::GetAInfo, RcvMode::ReadOutDone,
                                           RcvMode::Idle,    RcvMode::Guarded,  static_cast<RcvMode>(-1)};
constexpr std::array<const char*, 4> kRings = {"RING", "NMBR=", "r", ""};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::uint8_t config = data[0];
    std::uint32_t chunking = data[1] * 2654435761u + 1;
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));

    SharedState state;
    state.appDir = QStringLiteral("/nonexistent");
    state.systemSettings.appName = QStringLiteral("着信");
    state.adapterModels[1] = QStringLiteral("CTI-INS100");
    state.adapterModels[2] = QStringLiteral("CTI-AN10");
    state.adapterModel = state.adapterModels[1 + (config >> 7)];
    AdapterProfile& p = state.adapterProfile;
    p.ring = QString::fromLatin1(kRings[(config >> 4) % kRings.size()]);
    p.ok = QStringLiteral("0");
    p.getCtiCommand = (config & 0x08) ? QStringLiteral("1") : QStringLiteral("2");
    p.ctiInfo[1] = QStringLiteral("*CTI:");
    p.ctiInfo[2] = QStringLiteral("#P2:");
    p.rsp1_Both = QStringLiteral("3");
    p.rsp1_P1 = QStringLiteral("1");
    p.rsp1_P2 = QStringLiteral("2");
    p.rsp2_on = QStringLiteral("ON");
    p.rsp2_off = QStringLiteral("OF");
    state.urlSettings.browse = QStringLiteral("True");
    state.urlSettings.history = QStringLiteral("True");
    state.urlSettings.path1 = QStringLiteral("http://crm/?tel=");
    state.rcvMode = kModes[config % kModes.size()];

    const auto framing = (config & 0x04) ? ReceiveAssembler::Framing::ControlCode : ReceiveAssembler::Framing::Line;
    const bool ins = config & 0x40;

    ScriptedMessageBoxes boxes;
    RecordingBrowserLauncher launcher;
    RecordingCallHistory history;
    FakeCallDisplay display;
    CallDispatch dispatch(state, boxes, launcher, history, &display);
    ReceiveProcessor processor(state, boxes, dispatch);
    ReplyExchange& reply = processor.reply();
    reply.ctiQueryIndex = static_cast<std::int16_t>((config >> 1) % 4);

    const QDateTime receivedAt = QDateTime::currentDateTime();
    ReceiveAssembler assembler;
    ModelAssembler model;
    QStringDecoder decoder("CP932");
    qsizetype pos = 0;
    while (pos < stream.size()) {
        chunking = chunking * 1103515245u + 12345u;
        const qsizetype length = std::min<qsizetype>(stream.size() - pos, 1 + (chunking >> 16) % 97);
        const QByteArrayView event = stream.sliced(pos, length);
        pos += length;

        const QList<QByteArray> units = assembler.feed(event, framing);
        check(units == model.feed(event, framing), "assembled units differ from the framing rules");
        check(assembler.pending().size() <= ReceiveAssembler::kMaxLineBytes, "partial line grew past its bound");

        for (const QByteArray& unit : units) {
            decoder.resetState();
            const QString text = decoder.decode(unit);
            if (framing == ReceiveAssembler::Framing::ControlCode)
                processor.rcvProcessT1(text, receivedAt);
            else if (ins)
                processor.rcvProcess(text, receivedAt);
            else
                processor.rcvProcessA(text, receivedAt);

            check(reply.status == ReplyStatus::Waiting || reply.status == ReplyStatus::Handled ||
                      reply.status == ReplyStatus::Malformed,
                  "reply status outside its values");
            const WatchAck ack = reply.watchAnswer.value_or(state.watchAck);
            check(ack == WatchAck::Answered || ack == WatchAck::Outstanding, "watchAck outside its values");
            check(launcher.urls.size() == history.numbers.size(), "a call opened the browser without history or back");
            check(display.values.size() >= launcher.urls.size(), "a call reached the browser without being shown");
        }
    }
    return 0;
}
