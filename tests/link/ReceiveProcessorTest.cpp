#include "ReceiveRig.h"

#include "app/Settings.h"
#include "support/LoggedNotifier.h"
#include "support/TestDesk.h"
#include "support/TraceCapture.h"

#include <gtest/gtest.h>

#include <vector>

using Routine = ReceiveRig::Routine;

namespace {

// The box of a routine's own failure: its label and what went wrong, under the application's title.
void expectFailureBox(const ReceiveRig& rig, const QString& label)
{
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    const auto& box = rig.boxes.shown[0];
    EXPECT_TRUE(box.text.startsWith(label)) << box.text.toStdString();
    EXPECT_GT(box.text.size(), label.size());
    EXPECT_EQ((std::tuple{box.title, box.icon, box.buttons}),
              std::tuple(QString("着信"), MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok));
}

} // namespace

// Identifying an ISDN adapter: short lines, calls, the model search order, replies counted without a model.
TEST(RcvProcessInitial, IdentificationRules)
{
    // clang-format off
    struct Row { const char* line; const char* ring; int emptySlot /* adapterModels index to empty, or 0 */; StateNumber replyStatus; const char* model; std::int16_t index; QStringList trace; };
    const QString initial = "rcv--INITIAL";
    const std::vector<Row> rows = {
        {"", "RING", 0, 0, "", 0, {initial, "rcv--musi"}},
        {"OK", "RING", 0, 0, "", 0, {initial, "rcv--musiOK"}},
        {"RING0312345678;1", "RING", 0, 0, "", 0, {initial}},
        {"RINGCTI-INS100", "RING", 0, 0, "", 0, {initial}},
        {"NMBRx CTI-INS200", "NMBR=", 0, 0, "", 0, {initial}}, // only four characters of line and ring compared
        {"RIN", "RING", 0, 1, "", 0, {initial}},
        {"ABC", "ABC", 0, 0, "", 0, {initial}}, // ring shorter than four: only the line equal to it is a call
        {"ABCD", "ABC", 0, 1, "", 0, {initial}},
        {"ring CTI-INS200", "RING", 0, 1, "CTI-INS200", 2, {initial}},
        {"CTI-INS200 Ver2.01", "RING", 0, 1, "CTI-INS200", 2, {initial}},
        {"Model: ソラノT1", "RING", 0, 1, "ソラノT1", 4, {initial}},
        {"CTI-INS200 CTI-INS100", "RING", 0, 1, "CTI-INS100", 1, {initial}},
        {"cti-ins100", "RING", 0, 1, "", 0, {initial}},
        {"ATI3", "RING", 0, 1, "", 0, {initial}},
        {"CTI-AN10", "RING", 2, 1, "", 2, {initial}},
        {"no adapter name", "RING", 5, 1, "", 5, {initial}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig;
        rig.state.adapterProfile.ring = row.ring;
        if (row.emptySlot)
            rig.state.adapterModels[static_cast<std::size_t>(row.emptySlot)].clear();
        TraceCapture trace;
        rig.processor.rcvProcess(row.line, kNow);
        EXPECT_EQ((std::tuple{StateNumber(rig.reply.status), rig.reply.detectedModel, rig.reply.detectedModelIndex,
                              trace.lines, rig.boxes.shown.size(), rig.log.events}),
                  std::tuple(row.replyStatus, QString(row.model), row.index, row.trace, 0u, QStringList()));
    }
}

// CTI read-out, one-character vocabulary: one reply sets all ports, unknown codes switch all off.
TEST(RcvProcessGetAInfo, OneCharacterVocabulary)
{
    // clang-format off
    struct Row { const char* line; StateNumber replyStatus; const char* cti /* three characters, x = unchanged */; const char* traceAfterMode; bool malformed; };
    const std::vector<Row> rows = {
        {"*CTI:3", 1, "111", "rcv--CTI情報受信*CTI:3", false},
        {"*CTI:1", 1, "100", "rcv--CTI情報受信*CTI:1", false},
        {"*CTI:2", 1, "010", "rcv--CTI情報受信*CTI:2", false},
        {"*CTI:0", 1, "000", "rcv--CTI情報受信*CTI:0", false},
        {"*CTI:9", 1, "000", "rcv--CTI情報受信*CTI:9", false},
        {"*CTI:21", 1, "010", "rcv--CTI情報受信*CTI:21", false},
        {"*CTI:*CTI:1", 1, "100", "rcv--CTI情報受信*CTI:*CTI:1", false}, // every occurrence of the prefix goes
        {"*CTI:", -1, "xxx", "rcv--CTI情報受信*CTI:", true},
        {"*CTI:*CTI:", -1, "xxx", "rcv--CTI情報受信*CTI:*CTI:", true},
        {"*CTI3", 1, "000", "rcv--CTI情報受信*CTI3", false}, // recognised by four characters, nothing to remove
        {"OK", 0, "xxx", "rcv--musiOK", false},
        {"RING0312345678;1", 0, "xxx", "rcv--ring受信", false},
        {"AT*CTI?", 0, "xxx", "rcv--その他受信AT*CTI?", false},
        {"*cti:3", 0, "xxx", "rcv--その他受信*cti:3", false},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig(kOneCharacterIsdn, RcvMode::GetAInfo);
        rig.setCti("xxx");
        TraceCapture trace;
        rig.processor.rcvProcess(row.line, kNow);
        EXPECT_EQ((std::tuple{StateNumber(rig.reply.status), rig.cti(), trace.lines}),
                  std::tuple(row.replyStatus, ctiOf(row.cti), QStringList{"rcv--GETAINFO", row.traceAfterMode}));
        ASSERT_EQ(rig.boxes.shown.size(), row.malformed ? 1u : 0u);
        for (const auto& box : rig.boxes.shown)
            EXPECT_EQ((std::tuple{box.text, box.title, box.icon, box.buttons}),
                      std::tuple(QString("CTI設定応答データが異常です"), QString("着信"), MessageBoxes::Icon::None,
                                 MessageBoxes::Buttons::Ok));
    }
}

// CTI read-out, two-character vocabulary: a reply sets only the queried port; unknown codes end the wait.
TEST(RcvProcessGetAInfo, TwoCharacterVocabulary)
{
    // clang-format off
    struct Row { std::int16_t query; const char* line; StateNumber replyStatus; const char* cti; };
    const std::vector<Row> rows = {
        {1, "#P1:ON", 1, "1xx"},      {2, "#P2:ON", 1, "x1x"}, {3, "#P3:OF", 1, "xx0"}, {2, "#P2:OFF", 1, "x0x"},
        {1, "#P1:XX", 1, "xxx"},      {1, "#P1:O", 1, "xxx"},  {1, "#P1:on", 1, "xxx"}, {2, "#P1:ON", 0, "xxx"},
        {1, "NMBR=0312;1", 0, "xxx"}, {3, "#P3:", -1, "xxx"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig(kTwoCharacterIsdn, RcvMode::GetAInfo);
        rig.reply.ctiQueryIndex = row.query;
        rig.setCti("xxx");
        rig.processor.rcvProcess(row.line, kNow);
        EXPECT_EQ(rig.reply.status, row.replyStatus);
        EXPECT_EQ(rig.cti(), ctiOf(row.cti));
    }
}

// Failures in the CTI read-out show the routine's message and leave every flag, so the wait times out.
TEST(RcvProcessGetAInfo, FailuresAreTrappedAndLeaveFlags)
{
    // clang-format off
    struct Row { const char* what; bool twoCharacter; const char* getCtiCommand; std::int16_t query; const char* line; };
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
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ReceiveRig rig(row.twoCharacter ? kTwoCharacterIsdn : kOneCharacterIsdn, RcvMode::GetAInfo);
        rig.state.adapterProfile.getCtiCommand = row.getCtiCommand;
        rig.reply.ctiQueryIndex = row.query;
        rig.setCti("xxx");
        const ReceiveRig::Flags before = rig.flags();
        rig.processor.rcvProcess(row.line, kNow);
        EXPECT_EQ(rig.flags(), before);
        expectFailureBox(rig, "rcvProcess:");
    }
}

// An out-of-range query number is not reached by short lines and calls.
TEST(RcvProcessGetAInfo, ShortLinesAndCallsBeforeTheQueryNumberIsUsed)
{
    for (const char* line : {"OK", "RING0312;1"}) {
        SCOPED_TRACE(line);
        ReceiveRig rig(kOneCharacterIsdn, RcvMode::GetAInfo);
        rig.reply.ctiQueryIndex = 32767;
        rig.processor.rcvProcess(line, kNow);
        EXPECT_EQ((std::tuple{rig.boxes.shown.size(), rig.reply.status}), std::tuple(0u, ReplyStatus::Waiting));
    }
}

// An empty ctiInfo recognises no reply: every line is "other", nothing loops or is reported.
TEST(RcvProcessGetAInfo, EmptyReplyPrefixRecognisesNothing)
{
    ReceiveRig rig(kOneCharacterIsdn, RcvMode::GetAInfo);
    rig.state.adapterProfile.ctiInfo[1].clear();
    TraceCapture trace;
    rig.processor.rcvProcess("*CTI:3", kNow);
    EXPECT_EQ((std::tuple{rig.reply.status, rig.boxes.shown.size(), trace.lines}),
              std::tuple(ReplyStatus::Waiting, 0u, QStringList{"rcv--GETAINFO", "rcv--その他受信*CTI:3"}));
}

// ISDN standby: notifications (any letter case) are calls, one-character lines answer the watchdog, no trace.
TEST(RcvProcessIdle, NotificationsAndWatchdogAnswers)
{
    // clang-format off
    struct Row { const char* line; const char* ring; const char* ok; StateNumber watchAckBefore; StateNumber watchAckAfter; QStringList events; };
    const std::vector<Row> rows = {
        {"RING0312345678;1", "RING", "0", 0, 0, callEvents("0312345678")},
        {"ring0312345678;1", "RING", "0", 0, 0, callEvents("ring0312345678")},
        {"Ring0312345678 1", "RING", "0", 0, 0, callEvents("Ring0312345678")},
        {"RING", "RING", "0", 0, 0, {}},
        {"RIN", "RING", "0", 0, 0, {}},
        {"XING0312;1", "RING", "0", 0, 0, {}},
        {"", "RING", "0", -1, -1, {}},
        {"0", "RING", "0", 0, -1, {}},
        {"4", "RING", "0", -1, 0, {}},
        {"00", "RING", "0", 0, 0, {}},
        {"R", "R", "R", 0, -1, {}}, // exactly as long as ring: no notification, may answer the watchdog
        {"r", "R", "R", 0, 0, {}},
        {"R0312 x", "R", "0", 0, 0, callEvents("0312")},
        {"0", "RING", "", -1, 0, {}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig(kOneCharacterIsdn, RcvMode::Idle);
        rig.state.adapterProfile.ring = row.ring;
        rig.state.adapterProfile.ok = row.ok;
        rig.state.watchAck = row.watchAckBefore;
        TraceCapture trace;
        rig.processor.rcvProcess(row.line, kNow);
        EXPECT_EQ((std::tuple{StateNumber(rig.watchAck()), rig.log.events, trace.lines, rig.boxes.shown.size(),
                              rig.reply.status}),
                  std::tuple(row.watchAckAfter, row.events, QStringList(), 0u, ReplyStatus::Waiting));
    }
}

// An ISDN notification without delimiter is reported with the line and dropped.
TEST(RcvProcessIdle, NotificationWithoutDelimiterIsReportedAndDropped)
{
    ReceiveRig rig(kOneCharacterIsdn, RcvMode::Idle);
    rig.processor.rcvProcess("RING0312345678", kNow);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ((std::tuple{rig.boxes.shown[0].text, rig.boxes.shown[0].icon, rig.log.events}),
              std::tuple(QString("電話番号を取り出すことができませんでした\r着信通知データ：RING0312345678"),
                         MessageBoxes::Icon::Critical, QStringList()));
}

// An empty ring makes every non-empty line a notification, one-character lines included.
TEST(RcvProcessIdle, EmptyRingTreatsEveryLineAsNotification)
{
    ReceiveRig rig(kOneCharacterIsdn, RcvMode::Idle);
    rig.state.adapterProfile.ring.clear();
    rig.state.watchAck = WatchAck::Outstanding;
    rig.processor.rcvProcess("0312 x", kNow);
    rig.processor.rcvProcess("", kNow);
    EXPECT_EQ(rig.history.numbers, QStringList{"0312"});
    rig.processor.rcvProcess("0", kNow);
    EXPECT_EQ(rig.watchAck(), WatchAck::Outstanding);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_TRUE(rig.boxes.shown[0].text.endsWith("：0"));
}

// Other line-framed adapters: an acknowledgement identifies; in standby the number ends at ":", else failure.
TEST(RcvProcessA, InitialAndIdle)
{
    // clang-format off
    struct Row { StateNumber mode /* 0 INITIAL, 1 GETAINFO, 3 IDLE */; const char* line; StateNumber replyStatus; const char* model; StateNumber watchAckAfter; QStringList events; const char* trace /* nullptr: no trace line */; bool failure; };
    const std::vector<Row> rows = {
        {0, "0", 1, "CTI-AN10", 0, {}, "rcv--10", false},
        {0, "00", 0, "", 0, {}, "rcv--100", false},
        {0, "4", 0, "", 0, {}, "rcv--14", false},
        {0, "", 0, "", 0, {}, "rcv--1", false},
        {0, "CALL0312:1", 0, "", 0, {}, "rcv--1CALL0312:1", false},
        {3, "CALL0312345678:1", 0, "", 0, callEvents("0312345678"), "rcv--IDLECALL0312345678:1", false},
        {3, "CALL:1", 0, "", 0, callEvents(""), "rcv--IDLECALL:1", false},
        {3, "call0312:1", 0, "", 0, callEvents("call0312"), "rcv--IDLEcall0312:1", false},
        {3, "CALL03CALL12:CALL", 0, "", 0, callEvents("0312"), "rcv--IDLECALL03CALL12:CALL", false},
        {3, "CALL0312345678", 0, "", 0, {}, "rcv--IDLECALL0312345678", true},
        {3, "CALL", 0, "", 0, {}, "rcv--IDLECALL", false},
        {3, "0", 0, "", -1, {}, "rcv--IDLE0", false},
        {3, "X", 0, "", 0, {}, "rcv--IDLEX", false},
        {1, "0", 0, "", 0, {}, nullptr, false},
        {1, "CALL0312:1", 0, "", 0, {}, nullptr, false},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ReceiveRig rig(kAnalog, row.mode);
        rig.state.watchAck = WatchAck::Outstanding;
        TraceCapture trace;
        rig.processor.rcvProcessA(row.line, kNow);
        EXPECT_EQ((std::tuple{StateNumber(rig.reply.status), rig.reply.detectedModel, StateNumber(rig.watchAck()),
                              rig.log.events, trace.lines}),
                  std::tuple(row.replyStatus, QString(row.model), row.watchAckAfter, row.events,
                             row.trace ? QStringList{row.trace} : QStringList()));
        if (row.failure)
            expectFailureBox(rig, "rcvProcessA:");
        else
            EXPECT_TRUE(rig.boxes.shown.empty());
    }
}

// An empty ok never acknowledges: identification then ends by its time-out.
TEST(RcvProcessA, EmptyOkAcknowledgesNothing)
{
    ReceiveRig rig(kAnalog);
    rig.state.adapterProfile.ok.clear();
    for (const char* line : {"", "0", " "})
        rig.processor.rcvProcessA(line, kNow);
    EXPECT_EQ((std::pair{rig.reply.status, rig.reply.detectedModel}), std::pair(ReplyStatus::Waiting, QString()));
}

// Control-code frames count only at 29 characters; a blank number answers the watchdog and clears the display.
TEST(RcvProcessT1, FramesByLength)
{
    // clang-format off
    struct Row { StateNumber mode /* 0 INITIAL, 1 GETAINFO, 3 IDLE */; QString frame; StateNumber replyStatus; const char* model; StateNumber watchAckAfter; QStringList events; bool traced; };
    const QString blank = QString(20, u' ');
    const QStringList spaced = {"display:03 1234 5678", "browser:http://crm.example.jp/?tel=03%201234%205678",
                                "history:03 1234 5678"};
    const std::vector<Row> rows = {
        {0, t1Frame(blank), 1, "ソラノT1", 0, {}, true},
        {0, t1Frame(blank).left(28), 0, "", 0, {}, true},
        {0, t1Frame(blank) + u' ', 0, "", 0, {}, true},
        {3, t1Frame("          0312345678"), 0, "", 0, callEvents("0312345678"), true},
        {3, t1Frame("0312345678          "), 0, "", 0, callEvents("0312345678"), true},
        {3, t1Frame("  03 1234 5678      "), 0, "", 0, spaced, true},
        {3, t1Frame(blank), 0, "", -1, {"display:"}, true},
        {3, t1Frame("                 12").left(28), 0, "", 0, {}, true},
        {3, t1Frame("                   12"), 0, "", 0, {}, true},
        {3, QString(), 0, "", 0, {}, true},
        {1, t1Frame(blank), 0, "", 0, {}, false},
        {1, t1Frame("          0312345678"), 0, "", 0, {}, false},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.frame.toStdString());
        ReceiveRig rig(kT1, row.mode);
        rig.state.watchAck = WatchAck::Outstanding;
        TraceCapture trace;
        rig.processor.rcvProcessT1(row.frame, kNow);
        const QString label = row.mode == RcvMode::Initial ? "rcv--1" : "rcv--IDLE";
        EXPECT_EQ((std::tuple{StateNumber(rig.reply.status), rig.reply.detectedModel, StateNumber(rig.watchAck()),
                              rig.log.events, trace.lines, rig.boxes.shown.size()}),
                  std::tuple(row.replyStatus, QString(row.model), row.watchAckAfter, row.events,
                             row.traced ? QStringList{label + row.frame} : QStringList(), 0u));
    }
}

// Outside INITIAL, GETAINFO and IDLE every routine ignores everything: no flag, trace, message or call.
TEST(ReceiveRoutines, OtherModesIgnoreEveryLine)
{
    const QStringList lines = {"",
                               "0",
                               "CTI-INS100",
                               "*CTI:",
                               "*CTI:3",
                               "RING0312;1",
                               "RING0312",
                               "CALL0312",
                               t1Frame(QString(20, u' ')),
                               t1Frame("          0312345678")};
    for (const StateNumber mode : {2, 999, -1, 4}) {
        for (const Routine routine : {Routine::Isdn, Routine::Analog, Routine::T1}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " routine " << int(routine));
            ReceiveRig rig(kOneCharacterIsdn, mode);
            rig.reply.ctiQueryIndex = 32767;
            rig.state.watchAck = WatchAck::Outstanding;
            const ReceiveRig::Flags before = rig.flags();
            TraceCapture trace;
            for (const QString& line : lines)
                rig.feed(routine, line);
            EXPECT_EQ((std::tuple{rig.flags(), trace.lines, rig.boxes.shown.size(), rig.log.events}),
                      std::tuple(before, QStringList(), 0u, QStringList()));
        }
    }
}

// A launcher failure it does not handle is the routine's failure, under its label; no history is written.
TEST(ReceiveRoutines, UnhandledLauncherFailureIsTrappedAndSkipsHistory)
{
    // clang-format off
    struct Row { Routine routine; const ModelProfile& model; const char* label; QString line; };
    const std::vector<Row> rows = {
        {Routine::Isdn, kOneCharacterIsdn, "rcvProcess:", "RING0312;1"},
        {Routine::Analog, kAnalog, "rcvProcessA:", "CALL0312:1"},
        {Routine::T1, kT1, "rcvProcessT1:", t1Frame("                0312")},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ReceiveRig rig(row.model, RcvMode::Idle);
        rig.launcher.throwUnhandled = true;
        rig.feed(row.routine, row.line);
        EXPECT_EQ(rig.log.events, QStringList({"display:0312", "browser:http://crm.example.jp/?tel=0312"}));
        expectFailureBox(rig, row.label);
    }
}

// A call without a number through each routine's profile: the main window and the history keep the code the line
// sent, the notification reads the reason, and the page opens as the Part has it unless openwithheld is "False".
TEST(ReceiveRoutines, CallsWithoutANumber)
{
    // clang-format off
    struct Row { Routine routine; const ModelProfile& model; QString line; const char* code; const char* shown; };
    const std::vector<Row> rows = {
        {Routine::Isdn, kOneCharacterIsdn, "RINGP;1", "P", "非通知"},
        {Routine::Isdn, kTwoCharacterIsdn, "NMBR=O 1", "O", "表示圏外"},
        {Routine::Isdn, kOneCharacterIsdn, "RING;1", "", "番号なし"},
        {Routine::Analog, kAnalog, "CALLC:1", "C", "公衆電話"},
        {Routine::T1, kT1, t1Frame(QString(19, u' ') + 'S'), "S", "サービス競合"},
        {Routine::T1, kT1, t1Frame("P" + QString(19, u' ')), "P", "非通知"},
        {Routine::Analog, kAnalog, "CALL0312345678:1", "0312345678", "03-1234-5678"},
    };
    // clang-format on
    for (const Row& row : rows) {
        for (const char* openwithheld : {"", "False"}) {
            SCOPED_TRACE(testing::Message() << row.code << " openwithheld=" << openwithheld);
            ReceiveRig rig(row.model, RcvMode::Idle);
            LoggedNotifier notices(&rig.log);
            rig.dispatch.setNotifier(&notices);
            rig.state.urlSettings.notify = "True";
            rig.state.urlSettings.openwithheld = openwithheld;
            rig.feed(row.routine, row.line);
            const QString code = QString::fromUtf8(row.code), page = "http://crm.example.jp/?tel=" + code;
            const bool opens = *openwithheld == 0 || code.size() > 1;
            QStringList events = {"display:" + code, "notify:" + QString::fromUtf8(row.shown) + u' ',
                                  "history:" + code};
            if (opens) {
                events.insert(1, "browser:" + page);
                events[2] += page;
            }
            EXPECT_EQ(rig.log.events, events);
        }
    }
}

// The shipped profiles drive the receive processing: CTI-INS200's per-port read-out, CTI-INS100 identified.
TEST(ReceiveRoutines, ShippedProfiles)
{
    TestDesk desk({.ini = "[SYSTEM]\nadapter=2\n", .loaded = false}); // loaded below, as the start-up loads them
    SharedState& state = desk.state();
    ASSERT_TRUE(LoadSettings(state));
    ASSERT_EQ(state.adapterModel, "CTI-INS200");
    ReceiveProcessor& processor = desk.program->receive;

    state.rcvMode = RcvMode::Initial;
    processor.rcvProcess("CTI-INS100 Version 1.02", kNow);
    EXPECT_EQ(processor.reply().detectedModelIndex, 1);

    state.rcvMode = RcvMode::GetAInfo;
    const QStringList replies = {"#P1:ON", "#P2:OF", "#P3:ON"};
    for (int i = 1; i <= 3; ++i) {
        processor.reply().ctiQueryIndex = static_cast<std::int16_t>(i);
        processor.reply().status = ReplyStatus::Waiting;
        processor.rcvProcess(QStringLiteral("AT#P%1?").arg(i), kNow);
        EXPECT_EQ(processor.reply().status, ReplyStatus::Waiting);
        processor.rcvProcess(replies.at(i - 1), kNow);
        EXPECT_EQ(processor.reply().status, ReplyStatus::Handled);
    }
    const std::array<QString, 3>& cti = processor.reply().ctiSettings;
    EXPECT_EQ(QStringList(cti.begin(), cti.end()), ctiOf("101"));
    EXPECT_TRUE(desk.boxes.shown.empty());
}
