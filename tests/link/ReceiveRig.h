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

/// The receive routines wired to fakes, with the profiles of the three adapter families.
struct ReceiveRig
{
    enum class Routine
    {
        Isdn,
        Analog,
        T1
    };

    ReceiveRig()
    {
        state.systemSettings.appName = QStringLiteral("着信");
        state.systemSettings.debugmode = QStringLiteral("True");
        state.urlSettings.browse = QStringLiteral("True");
        state.urlSettings.history = QStringLiteral("True");
        state.urlSettings.path1 = QStringLiteral("http://crm.example.jp/?tel=");
        state.adapterModels[1] = QStringLiteral("CTI-INS100");
        state.adapterModels[2] = QStringLiteral("CTI-INS200");
        state.adapterModels[3] = QStringLiteral("CTI-AN10");
        state.adapterModels[4] = QStringLiteral("ソラノT1");
        state.adapterModels[5] = QStringLiteral("CTI-TEST5");
        useOneCharacterIsdn();
    }

    // One query answers for all ports with one character.
    void useOneCharacterIsdn()
    {
        state.adapterModel = QStringLiteral("CTI-INS100");
        AdapterProfile& p = state.adapterProfile;
        p = AdapterProfile{};
        p.kind = QStringLiteral("INS");
        p.ok = QStringLiteral("0");
        p.ring = QStringLiteral("RING");
        p.getCtiCommand = QStringLiteral("1");
        p.rsp1_Both = QStringLiteral("3");
        p.rsp1_P1 = QStringLiteral("1");
        p.rsp1_P2 = QStringLiteral("2");
        p.rsp1_NN = QStringLiteral("0");
        p.ctiInfo[1] = QStringLiteral("*CTI:");
    }

    // One query per port, answered with two characters.
    void useTwoCharacterIsdn()
    {
        state.adapterModel = QStringLiteral("CTI-INS200");
        AdapterProfile& p = state.adapterProfile;
        p = AdapterProfile{};
        p.kind = QStringLiteral("INS");
        p.ok = QStringLiteral("0");
        p.ring = QStringLiteral("NMBR=");
        p.getCtiCommand = QStringLiteral("2");
        p.rsp2_on = QStringLiteral("ON");
        p.rsp2_off = QStringLiteral("OF");
        p.ctiInfo[1] = QStringLiteral("#P1:");
        p.ctiInfo[2] = QStringLiteral("#P2:");
        p.ctiInfo[3] = QStringLiteral("#P3:");
        p.ctiInfo[4] = QStringLiteral("#P4:");
    }

    void useAnalog()
    {
        state.adapterModel = QStringLiteral("CTI-AN10");
        AdapterProfile& p = state.adapterProfile;
        p = AdapterProfile{};
        p.kind = QStringLiteral("ANALOG");
        p.ok = QStringLiteral("0");
        p.ring = QStringLiteral("CALL");
    }

    void useT1()
    {
        state.adapterModel = QStringLiteral("ソラノT1");
        AdapterProfile& p = state.adapterProfile;
        p = AdapterProfile{};
        p.kind = QStringLiteral("ANALOG");
        p.ctrlcode = QStringLiteral("True");
    }

    void feed(Routine routine, const QString& line)
    {
        switch (routine) {
        case Routine::Isdn:
            processor.rcvProcess(line, kNow);
            break;
        case Routine::Analog:
            processor.rcvProcessA(line, kNow);
            break;
        case Routine::T1:
            processor.rcvProcessT1(line, kNow);
            break;
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
        const SystemSettings& s = state.systemSettings;
        return {state.replyStatus, state.watchAck, state.detectedModel, state.detectedModelIndex,
                s.ctiSettings1,    s.ctiSettings2, s.ctiSettings3};
    }
    void setCti(const QString& one, const QString& two, const QString& three)
    {
        state.systemSettings.ctiSettings1 = one;
        state.systemSettings.ctiSettings2 = two;
        state.systemSettings.ctiSettings3 = three;
    }

    SharedState state;
    ScriptedMessageBoxes boxes;
    CallEventLog log;
    FakeCallDisplay display{&log};
    RecordingBrowserLauncher launcher{&log};
    RecordingCallHistory history{&log};
    ReceiveProcessor processor{state, boxes, launcher, history, &display};
};

/// A 29-character control-code frame: a 9-character header and the number field.
inline QString t1Frame(const QString& numberField)
{
    return QStringLiteral("T1STAT001") + numberField;
}
