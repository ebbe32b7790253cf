#pragma once

#include "app/SharedState.h"
#include "link/ReceiveProcessor.h"
#include "support/CallEventLog.h"
#include "support/FakeCallDisplay.h"
#include "support/QStringPrinter.h"
#include "support/RecordingBrowserLauncher.h"
#include "support/RecordingCallHistory.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"

#include <QString>

#include <ostream>

/// The arrival time the receive routines are handed in these tests.
inline const QDateTime kNow(QDate(2026, 12, 8), QTime(9, 30));

/// An adapter model and what its profile section in settings.ini says.
struct ModelProfile
{
    const char* model;
    void (*fill)(AdapterProfile& p);
};
// clang-format off
/// One query answers for all ports with one character.
inline constexpr ModelProfile kOneCharacterIsdn{"CTI-INS100", [](AdapterProfile& p) { p.kind = "INS"; p.ok = "0"; p.ring = "RING"; p.getCtiCommand = "1"; p.rsp1_Both = "3"; p.rsp1_P1 = "1"; p.rsp1_P2 = "2"; p.rsp1_NN = "0"; p.ctiInfo[1] = "*CTI:"; }};
/// One query per port, answered with two characters.
inline constexpr ModelProfile kTwoCharacterIsdn{"CTI-INS200", [](AdapterProfile& p) { p.kind = "INS"; p.ok = "0"; p.ring = "NMBR="; p.getCtiCommand = "2"; p.rsp2_on = "ON"; p.rsp2_off = "OF"; p.ctiInfo = {"", "#P1:", "#P2:", "#P3:", "#P4:"}; }};
inline constexpr ModelProfile kAnalog{"CTI-AN10", [](AdapterProfile& p) { p.kind = "ANALOG"; p.ok = "0"; p.ring = "CALL"; }};
inline constexpr ModelProfile kT1{"ソラノT1", [](AdapterProfile& p) { p.kind = "ANALOG"; p.ctrlcode = "True"; }};
// clang-format on

/// The call actions a call on `number` leads to, in their order, as the fakes log them.
inline QStringList callEvents(const QString& number)
{
    return {"display:" + number, "browser:http://crm.example.jp/?tel=" + number, "history:" + number};
}

/// The three CTI settings as written one character each ("1x0").
inline QStringList ctiOf(const QString& three)
{
    return {three.mid(0, 1), three.mid(1, 1), three.mid(2, 1)};
}

/// A 29-character control-code frame: a 9-character header and the number field.
inline QString t1Frame(const QString& numberField)
{
    return "T1STAT001" + numberField;
}

/// The receive routines wired to fakes, for one adapter model in one receive mode.
struct ReceiveRig
{
    // clang-format off
    enum class Routine { Isdn, Analog, T1 };
    // clang-format on

    explicit ReceiveRig(const ModelProfile& use = kOneCharacterIsdn, RcvMode mode = RcvMode::Initial)
    {
        state.systemSettings.appName = "着信";
        state.systemSettings.debugmode = "True";
        state.urlSettings.browse = "True";
        state.urlSettings.history = "True";
        state.urlSettings.path1 = "http://crm.example.jp/?tel=";
        state.adapterModels = {"", "CTI-INS100", "CTI-INS200", "CTI-AN10", "ソラノT1", "CTI-TEST5"};
        state.adapterModel = use.model;
        use.fill(state.adapterProfile);
        state.rcvMode = mode;
    }

    void feed(Routine routine, const QString& line)
    {
        switch (routine) {
        case Routine::Isdn:
            return processor.rcvProcess(line, kNow);
        case Routine::Analog:
            return processor.rcvProcessA(line, kNow);
        case Routine::T1:
            return processor.rcvProcessT1(line, kNow);
        }
    }

    /// Everything the routines may write, for comparing before and after.
    struct Flags
    {
        ReplyStatus replyStatus;
        WatchAck watchAck;
        QString detectedModel;
        std::int16_t detectedModelIndex;
        QString cti1, cti2, cti3;

        bool operator==(const Flags&) const = default;
        friend void PrintTo(const Flags& f, std::ostream* os)
        {
            *os << "{replyStatus " << f.replyStatus << ", watchAck " << f.watchAck << ", detectedModel \""
                << f.detectedModel.toStdString() << "\" #" << f.detectedModelIndex << ", cti \"" << f.cti1.toStdString()
                << "\" \"" << f.cti2.toStdString() << "\" \"" << f.cti3.toStdString() << "\"}";
        }
    };
    Flags flags() const
    {
        const std::array<QString, 3>& cti = reply.ctiSettings;
        return {reply.status, watchAck(), reply.detectedModel, reply.detectedModelIndex, cti[0], cti[1], cti[2]};
    }
    /// `watchAck` once the link has taken the routines' answer.
    WatchAck watchAck() const { return reply.watchAnswer.value_or(state.watchAck); }
    void setCti(const QString& three) { reply.ctiSettings = {three[0], three[1], three[2]}; }
    QStringList cti() const { return {reply.ctiSettings.begin(), reply.ctiSettings.end()}; }

    SharedState state;
    ScriptedMessageBoxes boxes;
    CallEventLog log;
    FakeCallDisplay display{&log};
    RecordingBrowserLauncher launcher{&log};
    RecordingCallHistory history{&log};
    CallDispatch dispatch{state, boxes, launcher, history, &display};
    ReceiveProcessor processor{state, boxes, dispatch};
    ReplyExchange& reply = processor.reply();
};
