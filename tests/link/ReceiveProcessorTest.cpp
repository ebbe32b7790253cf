#include "ReceiveRig.h"

#include "app/Settings.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"
#include "support/TraceCapture.h"

#include <gtest/gtest.h>

#include <vector>

using Routine = ReceiveRig::Routine;

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

// Identification (INITIAL) of an ISDN adapter: short lines, calls during identification,
// the model search order and the reply counting even when no model is found.
TEST(RcvProcessInitial, IdentificationRules)
{
    struct Row
    {
        const char* line;
        const char* ring;
        const char* emptySlot; // adapterModels index to empty, or nullptr
        StateNumber replyStatus;
        const char* model;
        std::int16_t index;
        QStringList trace;
    };
    const QString initial = QStringLiteral("rcv--INITIAL");
    const std::vector<Row> rows = {
        {"", "RING", nullptr, 0, "", 0, {initial, s("rcv--musi")}},
        {"OK", "RING", nullptr, 0, "", 0, {initial, s("rcv--musiOK")}},
        {"RING0312345678;1", "RING", nullptr, 0, "", 0, {initial}},
        {"RINGCTI-INS100", "RING", nullptr, 0, "", 0, {initial}},
        // Only the first four characters of the line and of ring are compared.
        {"NMBRx CTI-INS200", "NMBR=", nullptr, 0, "", 0, {initial}},
        {"RIN", "RING", nullptr, 1, "", 0, {initial}},
        // ring shorter than four characters: only the line equal to it is a call.
        {"ABC", "ABC", nullptr, 0, "", 0, {initial}},
        {"ABCD", "ABC", nullptr, 1, "", 0, {initial}},
        {"ring CTI-INS200", "RING", nullptr, 1, "CTI-INS200", 2, {initial}},
        {"CTI-INS200 Ver2.01", "RING", nullptr, 1, "CTI-INS200", 2, {initial}},
        {"Model: ソラノT1", "RING", nullptr, 1, "ソラノT1", 4, {initial}},
        {"CTI-INS200 CTI-INS100", "RING", nullptr, 1, "CTI-INS100", 1, {initial}},
        {"cti-ins100", "RING", nullptr, 1, "", 0, {initial}},
        {"ATI3", "RING", nullptr, 1, "", 0, {initial}},
        {"CTI-AN10", "RING", "2", 1, "", 2, {initial}},
        {"no adapter name", "RING", "5", 1, "", 5, {initial}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig;
        rig.state.adapterProfile.ring = s(row.ring);
        if (row.emptySlot)
            rig.state.adapterModels[static_cast<std::size_t>(QByteArray(row.emptySlot).toInt())].clear();
        TraceCapture trace;
        rig.processor.rcvProcess(s(row.line), kNow);
        EXPECT_EQ(rig.state.replyStatus, row.replyStatus);
        EXPECT_EQ(rig.state.detectedModel, s(row.model));
        EXPECT_EQ(rig.state.detectedModelIndex, row.index);
        EXPECT_EQ(trace.lines, row.trace);
        EXPECT_TRUE(rig.boxes.shown.empty());
        EXPECT_TRUE(rig.log.events.isEmpty());
    }
}

// CTI read-out (GETAINFO) with the one-character vocabulary: one reply sets all ports,
// unknown codes switch everything off, and lines that are not the reply are left alone.
TEST(RcvProcessGetAInfo, OneCharacterVocabulary)
{
    struct Row
    {
        const char* line;
        StateNumber replyStatus;
        const char* cti; // three characters, x = unchanged
        const char* traceAfterMode;
        bool malformed;
    };
    const std::vector<Row> rows = {
        {"*CTI:3", 1, "111", "rcv--CTI情報受信*CTI:3", false},
        {"*CTI:1", 1, "100", "rcv--CTI情報受信*CTI:1", false},
        {"*CTI:2", 1, "010", "rcv--CTI情報受信*CTI:2", false},
        {"*CTI:0", 1, "000", "rcv--CTI情報受信*CTI:0", false},
        {"*CTI:9", 1, "000", "rcv--CTI情報受信*CTI:9", false},
        {"*CTI:21", 1, "010", "rcv--CTI情報受信*CTI:21", false},
        // Every occurrence of the prefix goes, not just the first.
        {"*CTI:*CTI:1", 1, "100", "rcv--CTI情報受信*CTI:*CTI:1", false},
        {"*CTI:", -1, "xxx", "rcv--CTI情報受信*CTI:", true},
        {"*CTI:*CTI:", -1, "xxx", "rcv--CTI情報受信*CTI:*CTI:", true},
        // Recognised by four characters; the full prefix is not there to be removed.
        {"*CTI3", 1, "000", "rcv--CTI情報受信*CTI3", false},
        {"OK", 0, "xxx", "rcv--musiOK", false},
        {"RING0312345678;1", 0, "xxx", "rcv--ring受信", false},
        {"AT*CTI?", 0, "xxx", "rcv--その他受信AT*CTI?", false},
        {"*cti:3", 0, "xxx", "rcv--その他受信*cti:3", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig;
        rig.state.rcvMode = RcvMode::GetAInfo;
        rig.setCti(QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x"));
        TraceCapture trace;
        rig.processor.rcvProcess(s(row.line), kNow);
        EXPECT_EQ(rig.state.replyStatus, row.replyStatus);
        const QString cti = s(row.cti);
        EXPECT_EQ(rig.state.systemSettings.ctiSettings1, cti.mid(0, 1));
        EXPECT_EQ(rig.state.systemSettings.ctiSettings2, cti.mid(1, 1));
        EXPECT_EQ(rig.state.systemSettings.ctiSettings3, cti.mid(2, 1));
        EXPECT_EQ(trace.lines, QStringList({s("rcv--GETAINFO"), s(row.traceAfterMode)}));
        if (row.malformed) {
            ASSERT_EQ(rig.boxes.shown.size(), 1u);
            EXPECT_EQ(rig.boxes.shown[0].text, s("CTI設定応答データが異常です"));
            EXPECT_EQ(rig.boxes.shown[0].title, s("着信"));
            EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::None);
            EXPECT_EQ(rig.boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
        } else {
            EXPECT_TRUE(rig.boxes.shown.empty());
        }
    }
}

// CTI read-out with the two-character vocabulary: each reply sets only the queried port,
// and an unknown code still ends the wait without touching the setting.
TEST(RcvProcessGetAInfo, TwoCharacterVocabulary)
{
    struct Row
    {
        std::int16_t query;
        const char* line;
        StateNumber replyStatus;
        const char* cti;
    };
    const std::vector<Row> rows = {
        {1, "#P1:ON", 1, "1xx"},      {2, "#P2:ON", 1, "x1x"}, {3, "#P3:OF", 1, "xx0"}, {2, "#P2:OFF", 1, "x0x"},
        {1, "#P1:XX", 1, "xxx"},      {1, "#P1:O", 1, "xxx"},  {1, "#P1:on", 1, "xxx"}, {2, "#P1:ON", 0, "xxx"},
        {1, "NMBR=0312;1", 0, "xxx"}, {3, "#P3:", -1, "xxx"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig;
        rig.useTwoCharacterIsdn();
        rig.state.rcvMode = RcvMode::GetAInfo;
        rig.state.ctiQueryIndex = row.query;
        rig.setCti(QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x"));
        rig.processor.rcvProcess(s(row.line), kNow);
        EXPECT_EQ(rig.state.replyStatus, row.replyStatus);
        const QString cti = s(row.cti);
        EXPECT_EQ(rig.state.systemSettings.ctiSettings1, cti.mid(0, 1));
        EXPECT_EQ(rig.state.systemSettings.ctiSettings2, cti.mid(1, 1));
        EXPECT_EQ(rig.state.systemSettings.ctiSettings3, cti.mid(2, 1));
    }
}

// Failures inside the CTI read-out end in the routine's own message and leave every flag
// as it was, so the dialog's wait runs into its time-out instead of reading garbage.
TEST(RcvProcessGetAInfo, FailuresAreTrappedAndLeaveFlags)
{
    struct Row
    {
        const char* what;
        bool twoCharacter;
        const char* getCtiCommand;
        std::int16_t query;
        const char* line;
    };
    const std::vector<Row> rows = {
        {"vocabulary not a number", false, "one", 1, "*CTI:3"},
        {"vocabulary empty", false, "", 1, "*CTI:3"},
        {"vocabulary with a fraction", false, "1.5", 1, "*CTI:3"},
        {"query 0", false, "1", 0, "*CTI:3"},
        {"query 6", false, "1", 6, "*CTI:3"},
        {"query -1", false, "1", -1, "anything"},
        {"query 32767", false, "1", 32767, "*CTI:3"},
        {"query 4 is no port", true, "2", 4, "#P4:ON"},
        {"query 4 is no port, unknown code", true, "2", 4, "#P4:??"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ReceiveRig rig;
        if (row.twoCharacter)
            rig.useTwoCharacterIsdn();
        rig.state.adapterProfile.getCtiCommand = s(row.getCtiCommand);
        rig.state.rcvMode = RcvMode::GetAInfo;
        rig.state.ctiQueryIndex = row.query;
        rig.setCti(QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("x"));
        const ReceiveRig::Flags before = rig.flags();
        rig.processor.rcvProcess(s(row.line), kNow);
        EXPECT_EQ(rig.flags(), before);
        ASSERT_EQ(rig.boxes.shown.size(), 1u);
        const auto& box = rig.boxes.shown[0];
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("rcvProcess:"))) << box.text.toStdString();
        EXPECT_GT(box.text.size(), QStringLiteral("rcvProcess:").size());
        EXPECT_EQ(box.title, s("着信"));
        EXPECT_EQ(box.icon, MessageBoxes::Icon::None);
        EXPECT_EQ(box.buttons, MessageBoxes::Buttons::Ok);
    }
}

// An out-of-range query number only matters once a line gets as far as the reply test:
// short lines and calls are dealt with before it.
TEST(RcvProcessGetAInfo, ShortLinesAndCallsBeforeTheQueryNumberIsUsed)
{
    for (const char* line : {"OK", "RING0312;1"}) {
        SCOPED_TRACE(line);
        ReceiveRig rig;
        rig.state.rcvMode = RcvMode::GetAInfo;
        rig.state.ctiQueryIndex = 32767;
        rig.processor.rcvProcess(s(line), kNow);
        EXPECT_TRUE(rig.boxes.shown.empty());
        EXPECT_EQ(rig.state.replyStatus, ReplyStatus::Waiting);
    }
}

// An empty ctiInfo can only match an empty line, which is already too short: every reply
// is then "other", nothing loops and nothing is reported.
TEST(RcvProcessGetAInfo, EmptyReplyPrefixRecognisesNothing)
{
    ReceiveRig rig;
    rig.state.rcvMode = RcvMode::GetAInfo;
    rig.state.adapterProfile.ctiInfo[1].clear();
    TraceCapture trace;
    rig.processor.rcvProcess(QStringLiteral("*CTI:3"), kNow);
    EXPECT_EQ(rig.state.replyStatus, ReplyStatus::Waiting);
    EXPECT_TRUE(rig.boxes.shown.empty());
    EXPECT_EQ(trace.lines, QStringList({s("rcv--GETAINFO"), s("rcv--その他受信*CTI:3")}));
}

// Standby on an ISDN adapter: notifications (prefix in any letter case) become calls,
// one-character lines answer the watchdog, everything else is ignored, without trace.
TEST(RcvProcessIdle, NotificationsAndWatchdogAnswers)
{
    struct Row
    {
        const char* line;
        const char* ring;
        const char* ok;
        StateNumber watchAckBefore;
        StateNumber watchAckAfter;
        QStringList events;
    };
    const QString url = QStringLiteral("http://crm.example.jp/?tel=");
    const auto call = [&](const char* number) {
        return QStringList({s("display:") + s(number), s("browser:") + url + s(number), s("history:") + s(number)});
    };
    const std::vector<Row> rows = {
        {"RING0312345678;1", "RING", "0", 0, 0, call("0312345678")},
        {"ring0312345678;1", "RING", "0", 0, 0, call("ring0312345678")},
        {"Ring0312345678 1", "RING", "0", 0, 0, call("Ring0312345678")},
        {"RING", "RING", "0", 0, 0, {}},
        {"RIN", "RING", "0", 0, 0, {}},
        {"XING0312;1", "RING", "0", 0, 0, {}},
        {"", "RING", "0", -1, -1, {}},
        {"0", "RING", "0", 0, -1, {}},
        {"4", "RING", "0", -1, 0, {}},
        {"00", "RING", "0", 0, 0, {}},
        // A line exactly as long as ring is no notification but may answer the watchdog.
        {"R", "R", "R", 0, -1, {}},
        {"r", "R", "R", 0, 0, {}},
        {"R0312 x", "R", "0", 0, 0, call("0312")},
        {"0", "RING", "", -1, 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig;
        rig.state.rcvMode = RcvMode::Idle;
        rig.state.adapterProfile.ring = s(row.ring);
        rig.state.adapterProfile.ok = s(row.ok);
        rig.state.watchAck = row.watchAckBefore;
        TraceCapture trace;
        rig.processor.rcvProcess(s(row.line), kNow);
        EXPECT_EQ(rig.state.watchAck, row.watchAckAfter);
        EXPECT_EQ(rig.log.events, row.events);
        EXPECT_TRUE(trace.lines.isEmpty());
        EXPECT_TRUE(rig.boxes.shown.empty());
        EXPECT_EQ(rig.state.replyStatus, ReplyStatus::Waiting);
    }
}

// An ISDN notification without delimiter is reported with the line and dropped.
TEST(RcvProcessIdle, NotificationWithoutDelimiterIsReportedAndDropped)
{
    ReceiveRig rig;
    rig.state.rcvMode = RcvMode::Idle;
    rig.processor.rcvProcess(QStringLiteral("RING0312345678"), kNow);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, s("電話番号を取り出すことができませんでした\r着信通知データ：RING0312345678"));
    EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::Critical);
    EXPECT_TRUE(rig.log.events.isEmpty());
}

// An empty ring makes every non-empty line a notification, one-character lines included;
// removing the empty prefix removes nothing.
TEST(RcvProcessIdle, EmptyRingTreatsEveryLineAsNotification)
{
    ReceiveRig rig;
    rig.state.rcvMode = RcvMode::Idle;
    rig.state.adapterProfile.ring.clear();
    rig.state.watchAck = WatchAck::Outstanding;
    rig.processor.rcvProcess(QStringLiteral("0312 x"), kNow);
    rig.processor.rcvProcess(QStringLiteral(""), kNow);
    EXPECT_EQ(rig.history.numbers, QStringList({s("0312")}));
    rig.processor.rcvProcess(QStringLiteral("0"), kNow);
    EXPECT_EQ(rig.state.watchAck, WatchAck::Outstanding);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_TRUE(rig.boxes.shown[0].text.endsWith(QStringLiteral("：0")));
}

// The other line-framed adapters: an acknowledging adapter is the configured one; in
// standby the number ends at ":" and a missing ":" is the routine's failure.
TEST(RcvProcessA, InitialAndIdle)
{
    struct Row
    {
        StateNumber mode;
        const char* line;
        StateNumber replyStatus;
        const char* model;
        StateNumber watchAckAfter;
        QStringList events;
        const char* trace; // nullptr: no trace line
        bool failure;
    };
    const QString url = QStringLiteral("http://crm.example.jp/?tel=");
    const auto call = [&](const char* number) {
        return QStringList({s("display:") + s(number), s("browser:") + url + s(number), s("history:") + s(number)});
    };
    const RcvMode I = RcvMode::Initial;
    const RcvMode S = RcvMode::Idle;
    const std::vector<Row> rows = {
        {I, "0", 1, "CTI-AN10", 0, {}, "rcv--10", false},
        {I, "00", 0, "", 0, {}, "rcv--100", false},
        {I, "4", 0, "", 0, {}, "rcv--14", false},
        {I, "", 0, "", 0, {}, "rcv--1", false},
        {I, "CALL0312:1", 0, "", 0, {}, "rcv--1CALL0312:1", false},
        {S, "CALL0312345678:1", 0, "", 0, call("0312345678"), "rcv--IDLECALL0312345678:1", false},
        {S, "CALL:1", 0, "", 0, call(""), "rcv--IDLECALL:1", false},
        {S, "call0312:1", 0, "", 0, call("call0312"), "rcv--IDLEcall0312:1", false},
        {S, "CALL03CALL12:CALL", 0, "", 0, call("0312"), "rcv--IDLECALL03CALL12:CALL", false},
        {S, "CALL0312345678", 0, "", 0, {}, "rcv--IDLECALL0312345678", true},
        {S, "CALL", 0, "", 0, {}, "rcv--IDLECALL", false},
        {S, "0", 0, "", -1, {}, "rcv--IDLE0", false},
        {S, "X", 0, "", 0, {}, "rcv--IDLEX", false},
        {RcvMode::GetAInfo, "0", 0, "", 0, {}, nullptr, false},
        {RcvMode::GetAInfo, "CALL0312:1", 0, "", 0, {}, nullptr, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig;
        rig.useAnalog();
        rig.state.rcvMode = row.mode;
        rig.state.watchAck = WatchAck::Outstanding;
        TraceCapture trace;
        rig.processor.rcvProcessA(s(row.line), kNow);
        EXPECT_EQ(rig.state.replyStatus, row.replyStatus);
        EXPECT_EQ(rig.state.detectedModel, s(row.model));
        EXPECT_EQ(rig.state.watchAck, row.watchAckAfter);
        EXPECT_EQ(rig.log.events, row.events);
        EXPECT_EQ(trace.lines, row.trace ? QStringList({s(row.trace)}) : QStringList());
        if (row.failure) {
            ASSERT_EQ(rig.boxes.shown.size(), 1u);
            EXPECT_TRUE(rig.boxes.shown[0].text.startsWith(QStringLiteral("rcvProcessA:")));
            EXPECT_GT(rig.boxes.shown[0].text.size(), QStringLiteral("rcvProcessA:").size());
            EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::None);
            EXPECT_EQ(rig.boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
        } else {
            EXPECT_TRUE(rig.boxes.shown.empty());
        }
    }
}

// An empty ok never acknowledges: identification then ends by its time-out.
TEST(RcvProcessA, EmptyOkAcknowledgesNothing)
{
    ReceiveRig rig;
    rig.useAnalog();
    rig.state.adapterProfile.ok.clear();
    for (const char* line : {"", "0", " "})
        rig.processor.rcvProcessA(s(line), kNow);
    EXPECT_EQ(rig.state.replyStatus, ReplyStatus::Waiting);
    EXPECT_TRUE(rig.state.detectedModel.isEmpty());
}

// Control-code frames: only 29 characters count, in identification and in standby; a
// blank number field answers the watchdog and only clears the display.
TEST(RcvProcessT1, FramesByLength)
{
    struct Row
    {
        StateNumber mode;
        QString frame;
        StateNumber replyStatus;
        const char* model;
        StateNumber watchAckAfter;
        QStringList events;
        bool traced;
    };
    const QString url = QStringLiteral("http://crm.example.jp/?tel=");
    const auto call = [&](const char* number) {
        return QStringList({s("display:") + s(number), s("browser:") + url + s(number), s("history:") + s(number)});
    };
    const QString blank = QString(20, u' ');
    const RcvMode I = RcvMode::Initial;
    const RcvMode S = RcvMode::Idle;
    const std::vector<Row> rows = {
        {I, t1Frame(blank), 1, "ソラノT1", 0, {}, true},
        {I, t1Frame(blank).left(28), 0, "", 0, {}, true},
        {I, t1Frame(blank) + u' ', 0, "", 0, {}, true},
        {S, t1Frame(QStringLiteral("          0312345678")), 0, "", 0, call("0312345678"), true},
        {S, t1Frame(QStringLiteral("0312345678          ")), 0, "", 0, call("0312345678"), true},
        {S,
         t1Frame(QStringLiteral("  03 1234 5678      ")),
         0,
         "",
         0,
         {s("display:03 1234 5678"), s("browser:") + url + s("03%201234%205678"), s("history:03 1234 5678")},
         true},
        {S, t1Frame(blank), 0, "", -1, {s("display:")}, true},
        {S, t1Frame(QStringLiteral("                 12")).left(28), 0, "", 0, {}, true},
        {S, t1Frame(QStringLiteral("                   12")), 0, "", 0, {}, true},
        {S, QString(), 0, "", 0, {}, true},
        {RcvMode::GetAInfo, t1Frame(blank), 0, "", 0, {}, false},
        {RcvMode::GetAInfo, t1Frame(QStringLiteral("          0312345678")), 0, "", 0, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.frame.toStdString());
        ReceiveRig rig;
        rig.useT1();
        rig.state.rcvMode = row.mode;
        rig.state.watchAck = WatchAck::Outstanding;
        TraceCapture trace;
        rig.processor.rcvProcessT1(row.frame, kNow);
        EXPECT_EQ(rig.state.replyStatus, row.replyStatus);
        EXPECT_EQ(rig.state.detectedModel, s(row.model));
        EXPECT_EQ(rig.state.watchAck, row.watchAckAfter);
        EXPECT_EQ(rig.log.events, row.events);
        const QString label = row.mode == I ? QStringLiteral("rcv--1") : QStringLiteral("rcv--IDLE");
        EXPECT_EQ(trace.lines, row.traced ? QStringList({label + row.frame}) : QStringList());
        EXPECT_TRUE(rig.boxes.shown.empty());
    }
}

// Outside INITIAL, GETAINFO and IDLE every routine ignores everything: no flag, no trace,
// no message, no call action.
TEST(ReceiveRoutines, OtherModesIgnoreEveryLine)
{
    const QStringList lines = {
        QString(),
        QStringLiteral("0"),
        QStringLiteral("CTI-INS100"),
        QStringLiteral("*CTI:"),
        QStringLiteral("*CTI:3"),
        QStringLiteral("RING0312;1"),
        QStringLiteral("RING0312"),
        QStringLiteral("CALL0312"),
        t1Frame(QString(20, u' ')),
        t1Frame(QStringLiteral("          0312345678")),
    };
    for (const StateNumber mode : {2, 999, -1, 4}) {
        for (const Routine routine : {Routine::Isdn, Routine::Analog, Routine::T1}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " routine " << int(routine));
            ReceiveRig rig;
            rig.state.rcvMode = mode;
            rig.state.ctiQueryIndex = 32767;
            rig.state.watchAck = WatchAck::Outstanding;
            const ReceiveRig::Flags before = rig.flags();
            TraceCapture trace;
            for (const QString& line : lines)
                rig.feed(routine, line);
            EXPECT_EQ(rig.flags(), before);
            EXPECT_TRUE(trace.lines.isEmpty());
            EXPECT_TRUE(rig.boxes.shown.empty());
            EXPECT_TRUE(rig.log.events.isEmpty());
        }
    }
}

// A launcher failure that the launcher does not handle itself is the routine's failure:
// reported under the routine's label, and the history of that call is not written.
TEST(ReceiveRoutines, UnhandledLauncherFailureIsTrappedAndSkipsHistory)
{
    struct Row
    {
        Routine routine;
        const char* label;
        QString line;
    };
    const std::vector<Row> rows = {
        {Routine::Isdn, "rcvProcess:", QStringLiteral("RING0312;1")},
        {Routine::Analog, "rcvProcessA:", QStringLiteral("CALL0312:1")},
        {Routine::T1, "rcvProcessT1:", t1Frame(QStringLiteral("                0312"))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ReceiveRig rig;
        if (row.routine == Routine::Analog)
            rig.useAnalog();
        if (row.routine == Routine::T1)
            rig.useT1();
        rig.state.rcvMode = RcvMode::Idle;
        rig.launcher.throwUnhandled = true;
        rig.feed(row.routine, row.line);
        EXPECT_EQ(rig.log.events, QStringList({s("display:0312"), s("browser:http://crm.example.jp/?tel=0312")}));
        ASSERT_EQ(rig.boxes.shown.size(), 1u);
        EXPECT_TRUE(rig.boxes.shown[0].text.startsWith(s(row.label)));
        EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::None);
        EXPECT_EQ(rig.boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
    }
}

// The shipped profiles, loaded from settings.ini, drive the routines as intended: the
// per-port read-out of CTI-INS200 and the identification reply naming CTI-INS100.
TEST(ReceiveRoutines, ShippedProfiles)
{
    TempAppDir dir;
    dir.copyShippedSettings();
    QByteArray bytes = dir.settingsBytes();
    bytes.replace("\nadapter=\n", "\nadapter=2\n");
    dir.writeSettings(bytes);

    SharedState state = dir.makeState();
    ASSERT_TRUE(LoadSettings(state));
    ASSERT_EQ(state.adapterModel, s("CTI-INS200"));
    ScriptedMessageBoxes boxes;
    RecordingBrowserLauncher launcher;
    RecordingCallHistory history;
    ReceiveProcessor processor(state, boxes, launcher, history);

    state.rcvMode = RcvMode::Initial;
    processor.rcvProcess(QStringLiteral("CTI-INS100 Version 1.02"), kNow);
    EXPECT_EQ(state.detectedModelIndex, 1);

    state.rcvMode = RcvMode::GetAInfo;
    const QStringList replies = {QStringLiteral("#P1:ON"), QStringLiteral("#P2:OF"), QStringLiteral("#P3:ON")};
    for (int i = 1; i <= 3; ++i) {
        state.ctiQueryIndex = static_cast<std::int16_t>(i);
        state.replyStatus = ReplyStatus::Waiting;
        processor.rcvProcess(QStringLiteral("AT#P%1?").arg(i), kNow);
        EXPECT_EQ(state.replyStatus, ReplyStatus::Waiting);
        processor.rcvProcess(replies.at(i - 1), kNow);
        EXPECT_EQ(state.replyStatus, ReplyStatus::Handled);
    }
    EXPECT_EQ(state.systemSettings.ctiSettings1, s("1"));
    EXPECT_EQ(state.systemSettings.ctiSettings2, s("0"));
    EXPECT_EQ(state.systemSettings.ctiSettings3, s("1"));
    EXPECT_TRUE(boxes.shown.empty());
}
