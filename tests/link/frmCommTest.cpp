#include "link/frmComm.h"

#include "link/Cp932.h"
#include "pty/PseudoTerminal.h"
#include "support/FakeReceiveRoutines.h"
#include "support/FakeTerminalWindow.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/RecordingPauser.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"
#include "support/TraceCapture.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <memory>
#include <sys/ioctl.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = 5s;
constexpr bool kOpen = true; // Link: with the port opened
using Pauses = std::vector<std::chrono::milliseconds>;
using Box = std::tuple<QString, QString, MessageBoxes::Icon, MessageBoxes::Buttons>;
Box boxOf(const ScriptedMessageBoxes::Shown& box)
{
    return {box.text, box.title, box.icon, box.buttons};
}

// frmComm alone: an adapter on a pty as COM1, fake routines and main window to see exactly what it hands over.
struct Link
{
    // `setUp` changes the state before the port opens, if `open`.
    explicit Link(bool open = false, const std::function<void(Link&)>& setUp = {})
    {
        if (!pty->isValid())
            throw std::runtime_error(pty->errorString().toStdString());
        dir.writeSettings("[PORTS]\nCOM1=" + pty->portPath().toUtf8() + "\n");
        state = dir.makeState();
        state.systemSettings.appName = "着信";
        state.systemSettings.CommPort = "1";
        state.systemSettings.iconFile_on = "\\icons\\on.png";
        state.systemSettings.iconFile_off = "\\icons\\off.png";
        state.adapterModel = "CTI-INS100";
        state.adapterProfile.kind = "INS";
        state.adapterProfile.settings = "9600,n,8,1";
        state.adapterProfile.icommand[1] = "ATZ";
        comm = std::make_unique<frmComm>(state, boxes, pauser, routines);
        comm->setTerminalWindow(&window);
        if (setUp)
            setUp(*this);
        if (open && !comm->OpenPort(0))
            throw std::runtime_error("COM1 does not open");
    }
    ~Link() { comm->setTerminalWindow(nullptr); }

    void useSoranoT1()
    {
        state.adapterModel = "ソラノT1";
        state.adapterProfile.kind = "ANALOG";
        state.adapterProfile.ctrlcode = "True";
    }

    // Writes `bytes` as the adapter and lets the link take them as exactly one receive event.
    void deliver(const QByteArray& bytes)
    {
        arriveUnseen(bytes);
        processEventsUntil([&] { return comm->MSComm1.bytesAvailable() == 0 && waitingBytes() == 0; }, kPatience);
    }
    // Writes `bytes` as the adapter and waits until they are in the driver, unseen by the link.
    void arriveUnseen(const QByteArray& bytes)
    {
        pty->write(bytes);
        const QDeadlineTimer deadline(kPatience);
        while (waitingBytes() < bytes.size() && !deadline.hasExpired())
            std::this_thread::sleep_for(1ms);
    }
    int waitingBytes() const
    {
        int waiting = 0;
        ::ioctl(comm->MSComm1.handle(), FIONREAD, &waiting);
        return waiting;
    }
    // What the program has transmitted so far.
    QByteArray sent(qsizetype atLeast = 1) { return pty->waitForBytes(atLeast, kPatience); }
    // A receive routine's failure box, as the routines show it.
    void showRoutineBox()
    {
        boxes.show("rcvProcess:失敗", state.systemSettings.appName, MessageBoxes::Icon::None,
                   MessageBoxes::Buttons::Ok);
    }

    std::unique_ptr<PseudoTerminal> pty = std::make_unique<PseudoTerminal>();
    TempAppDir dir;
    SharedState state;
    ScriptedMessageBoxes boxes;
    RecordingPauser pauser;
    FakeReceiveRoutines routines;
    FakeTerminalWindow window;
    std::unique_ptr<frmComm> comm;
};

} // namespace

// Line framing through the port: a CP932 character split between reads comes out whole, unacknowledged.
TEST(frmCommReceive, LineFraming)
{
    Link link(kOpen);
    const QByteArray callerName = toCp932("着信0312345678");
    link.deliver(callerName.left(1));
    link.deliver(callerName.mid(1) + "\r");
    EXPECT_EQ(link.routines.texts(), QStringList{"着信0312345678"});
    EXPECT_TRUE(link.sent(0).isEmpty()) << "line framing acknowledges nothing";
}

// Control-code framing through the port: a frame split over two reads reaches rcvProcessT1, one ACK per read.
TEST(frmCommReceive, ControlCodeFraming)
{
    Link link(kOpen, [](Link& l) { l.useSoranoT1(); });
    link.deliver(QByteArray("\x02") + "12");
    link.deliver("34\x03");
    EXPECT_EQ(link.routines.texts(), QStringList{"1234"});
    for (const auto& received : link.routines.received)
        EXPECT_EQ(received.routine, "rcvProcessT1");
    const QByteArray ack("\x02\x06\x03");
    EXPECT_EQ(link.sent(2 * ack.size()), ack.repeated(2));
    EXPECT_EQ(link.pauser.pauses, (Pauses{100ms, 100ms, 1000ms, 100ms, 100ms, 1000ms}));
}

// Which routine gets a line: `kind` exactly "INS", `ctrlcode` exactly one of three spellings.
TEST(frmCommReceive, RoutineChoice)
{
    using enum ReceiveRoutine;
    // clang-format off
    const struct { const char* kind; const char* ctrlcode; ReceiveRoutine routine; } rules[] = {
        {"INS", "", Isdn}, {"ins", "", Analog}, {"Ins", "False", Analog}, {"ANALOG", "", Analog}, {"", "", Analog},
        {"INS ", "", Analog}, {"INS", "TRUE", ControlCode}, {"INS", "true", ControlCode}, {"INS", "tRUE", Isdn},
        {"ANALOG", "True", ControlCode}, {"ANALOG", "1", Analog}, {"ANALOG", "True ", Analog}, {"ANALOG", "yes", Analog},
    };
    // One row per routine through the port: the same bytes read as the frame "F" or, with
    // STX/ETX dropped, as the line "FL".
    struct Row { const char* kind; const char* ctrlcode; const char* routine; const char* text; };
    const Row rows[] = {{"INS", "", "rcvProcess", "FL"}, {"ins", "", "rcvProcessA", "FL"},
                        {"ANALOG", "True", "rcvProcessT1", "F"}};
    // clang-format on
    for (const auto& rule : rules) {
        AdapterProfile profile;
        std::tie(profile.kind, profile.ctrlcode) = std::pair(QString(rule.kind), QString(rule.ctrlcode));
        EXPECT_EQ(receiveRoutineFor(profile), rule.routine) << rule.kind << " / " << rule.ctrlcode;
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.kind) + " / " + row.ctrlcode);
        Link link;
        link.state.adapterProfile.kind = row.kind;
        link.state.adapterProfile.ctrlcode = row.ctrlcode;
        ASSERT_TRUE(link.comm->OpenPort(0));
        link.deliver(QByteArray("\x02") + "F\x03L\r");
        ASSERT_EQ(link.routines.received.size(), 1u);
        EXPECT_EQ(link.routines.received[0].routine, row.routine);
        EXPECT_EQ(link.routines.received[0].text, row.text);
    }
}

// Debug mode traces every read and line and shows reads in txtTerm, a split character intact.
TEST(frmCommReceive, DebugModeTracesAndShowsReads)
{
    TraceCapture trace;
    Link link(kOpen, [](Link& l) { l.state.systemSettings.debugmode = "True"; });
    link.window.txtTerm = "> ";
    const QByteArray name = toCp932("着");
    link.deliver("A" + name.left(1));
    link.deliver(name.mid(1) + "\r");
    EXPECT_EQ(link.routines.texts(), QStringList{"A着"});
    EXPECT_EQ(link.window.txtTerm, "> A\r\n着\r\r\n");
    EXPECT_TRUE(trace.lines.contains("**RCV - A着")) << trace.lines.join(u'|').toStdString();
    EXPECT_TRUE(trace.lines.contains("Receive - A"));
}

// Normal operation shows nothing received in the debug terminal.
TEST(frmCommReceive, NothingShownOutsideDebugMode)
{
    Link link(kOpen, [](Link& l) { l.state.systemSettings.debugmode = "False"; });
    link.deliver("RING0312345678\r");
    EXPECT_TRUE(link.window.txtTerm.isEmpty());
    EXPECT_EQ(link.routines.received.size(), 1u);
}

// While a routine's modal box is open, later lines wait and then follow in order; no routine nests.
TEST(frmCommReceive, OneLineAtATimeWhileAMessageBoxIsOpen)
{
    Link link(kOpen);
    QStringList seenDuringBox;
    link.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        link.pty->write("B\rC\r");
        processEventsUntil(
            [&] { return link.comm->MSComm1.bytesAvailable() >= 4 || link.routines.received.size() > 1; }, 2s);
        // Where the platform delivers a receive event meanwhile, it must not start a line.
        link.comm->MSComm1_OnComm();
        QCoreApplication::processEvents();
        seenDuringBox = link.routines.texts();
    };
    link.routines.onLine = [&](const FakeReceiveRoutines::Received& line) {
        if (line.text == u"A")
            link.showRoutineBox();
    };
    link.deliver("A\r");
    processEventsUntil([&] { return link.routines.received.size() >= 3; }, kPatience);
    EXPECT_EQ((std::tuple{seenDuringBox, link.routines.texts(), link.routines.maxDepth}),
              std::tuple(QStringList{"A"}, QStringList{"A", "B", "C"}, 1));
}

// Bytes arriving during a watchdog poll wait until the poll (pause included) is done; the ACK follows it.
TEST(frmCommReceive, WhatArrivesDuringASendWaitsForIt)
{
    const QString number = QString("0312").rightJustified(20);
    const QByteArray frame = "\x02" + toCp932("T1STAT001" + number) + "\x03";
    // clang-format off
    struct Row { const char* what; bool controlCode; QByteArray arriving; QString sequence; QByteArray wire; };
    const Row rows[] = {
        {"a notification of an ISDN adapter", false, "RING0312;1\r", "pause:1000|returned|line:RING0312;1", "ATZ\r"},
        {"a frame of the control-code adapter", true, frame,
         "pause:100|pause:100|pause:1000|returned|pause:100|pause:100|pause:1000|line:T1STAT001" + number, "\x02S\x03\x02\x06\x03"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QStringList sequence; // outlives the link, whose closing pauses too
        Link link;
        if (row.controlCode) {
            link.useSoranoT1();
            link.state.adapterProfile.icommand[1] = "S";
        }
        link.state.appState = AppStateCode::StandbyOn;
        link.state.watchAck = WatchAck::Answered;
        ASSERT_TRUE(link.comm->OpenPort(0));
        link.pauser.onPause = [&](std::chrono::milliseconds d) {
            if (sequence.isEmpty())
                link.arriveUnseen(row.arriving);
            sequence.append("pause:" + QString::number(d.count()));
        };
        link.routines.onLine = [&](const FakeReceiveRoutines::Received& line) {
            sequence.append("line:" + line.text);
        };
        link.comm->watchTimer_Timer();
        sequence.append("returned");
        ASSERT_TRUE(processEventsUntil([&] { return !link.routines.received.empty(); }, kPatience));
        EXPECT_EQ((std::tuple{sequence.join(u'|'), link.sent(row.wire.size()), link.routines.maxDepth}),
                  std::tuple(row.sequence, row.wire, 1));
    }
}

// A fragment followed by a second of silence is dropped with a trace; parts ms apart still assemble.
TEST(frmCommReceive, StaleFragmentsAreDropped)
{
    // clang-format off
    struct Row { const char* what; bool controlCode; std::vector<std::pair<std::chrono::milliseconds, QByteArray>> steps /* silence, then bytes */; QStringList lines; QStringList dropped; };
    const Row rows[] = {
        {"one stray byte, then a call", false, {{0ms, "x"}, {1300ms, "RING0312;1\r"}}, {"RING0312;1"}, {"**DROP - x"}},
        {"a line split over two reads", false, {{0ms, "RING03"}, {30ms, "12;1\r"}}, {"RING0312;1"}, {}},
        {"an unfinished frame", true, {{0ms, "\x02" "12"}, {1300ms, "34\x03"}}, {"34"}, {"**DROP - 12"}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TraceCapture trace;
        Link link;
        link.state.systemSettings.debugmode = "True";
        if (row.controlCode)
            link.useSoranoT1();
        ASSERT_TRUE(link.comm->OpenPort(0));
        for (const auto& [silence, bytes] : row.steps) {
            processEventsUntil([] { return false; }, silence);
            link.deliver(bytes);
        }
        EXPECT_EQ(link.routines.texts(), row.lines);
        EXPECT_EQ(trace.lines.filter("**DROP - "), row.dropped);
    }
}

// A line's rest arriving while a routine is busy for over a second (slow history) is not stale.
TEST(frmCommReceive, ABusyRoutineDoesNotMakeTheNextLineStale)
{
    Link link(kOpen);
    link.routines.onLine = [&](const FakeReceiveRoutines::Received& line) {
        if (line.text != u"L1")
            return;
        link.pty->write("b\r");
        std::this_thread::sleep_for(1300ms);
    };
    link.deliver("L1\rL2a");
    ASSERT_TRUE(processEventsUntil([&] { return link.routines.received.size() == 2; }, kPatience));
    EXPECT_EQ(link.routines.texts(), (QStringList{"L1", "L2ab"}));
}

// Commands are framed per model and reach the driver before the 1000 ms pause starts.
TEST(frmCommSend, FramingAndPausesPerModel)
{
    // clang-format off
    struct Row { const char* model; const char* command; QByteArray wire; Pauses pauses; };
    const Row rows[] = {
        {"CTI-INS100", "ATZ", "ATZ\r", {1000ms}},
        {"CTI-AN10", "", "\r", {1000ms}},
        {"CTI-INS200", "AT名前", "AT" + toCp932("名前") + "\r", {1000ms}},
        {"ソラノT1", "S", "\x02S\x03", {100ms, 100ms, 1000ms}},
        {"ソラノT1", "", "\x02\x03", {100ms, 100ms, 1000ms}},
        {"ソラノｔ1", "S", "S\r", {1000ms}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.model) + " " + row.command);
        Link link(kOpen, [&](Link& l) { l.state.adapterModel = row.model; });
        qint64 unsentAtPause = -1;
        link.pauser.onPause = [&](std::chrono::milliseconds d) {
            if (d == 1000ms)
                unsentAtPause = link.comm->MSComm1.bytesToWrite();
        };
        EXPECT_TRUE(link.comm->SendCommand(row.command));
        EXPECT_EQ((std::tuple{unsentAtPause, link.pauser.pauses, link.sent(row.wire.size())}),
                  std::tuple(0, row.pauses, row.wire));
    }
}

// The command trace names the command and the bytes still unsent, as one line.
TEST(frmCommSend, DebugTraceShowsUnsentBytes)
{
    TraceCapture trace;
    Link link(kOpen, [](Link& l) { l.state.systemSettings.debugmode = "True"; });
    link.comm->MSComm1.write("abc"); // queued, not yet handed to the driver
    EXPECT_TRUE(link.comm->SendCommand("X"));
    EXPECT_TRUE(trace.lines.contains("****SND--X[3]")) << trace.lines.join(u'|').toStdString();
    EXPECT_EQ(link.sent(5), "abcX\r");
}

// Sending on a closed port fails without a pause; a typed character goes out unframed.
TEST(frmCommSend, ClosedPortFailsAndRawCharIsUnframed)
{
    Link link;
    EXPECT_EQ((std::tuple{link.comm->SendCommand("ATZ"), link.comm->SendRawChar('a'), link.pauser.pauses.size()}),
              std::tuple(false, false, 0u));
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.useSoranoT1();
    EXPECT_EQ((std::tuple{link.comm->SendRawChar('q'), link.sent(1), link.pauser.pauses.size()}),
              std::tuple(true, "q", 0u));
}

// OpenPort(0) takes CommPort, OpenPort(3) port 3, both through [PORTS]; a missing device fails silently.
TEST(frmCommPort, OpenPortChoosesTheDevice)
{
    Link link;
    PseudoTerminal third;
    link.dir.writeSettings("[PORTS]\nCOM1=" + link.pty->portPath().toUtf8() + "\nCOM3=" + third.portPath().toUtf8() +
                           "\nCOM4=/nonexistent/tty\n");
    ASSERT_TRUE(link.comm->OpenPort(0));
    EXPECT_EQ(link.comm->MSComm1.portName(), link.pty->portPath());
    link.comm->ClosePort();
    ASSERT_TRUE(link.comm->OpenPort(3));
    EXPECT_EQ(link.comm->MSComm1.portName(), third.portPath());
    ASSERT_TRUE(link.comm->SendCommand("ATZ"));
    EXPECT_EQ(third.waitForBytes(4, kPatience), "ATZ\r");
    link.comm->ClosePort();
    EXPECT_EQ((std::tuple{link.comm->OpenPort(4), link.comm->IsPortOpen(), link.boxes.shown.size()}),
              std::tuple(false, false, 0u));
}

// A rejected value is reported (exclamation, app title), configuration stops, the open still happens.
TEST(frmCommPort, RejectedConfigurationIsReportedAndThePortStillOpens)
{
    // clang-format off
    struct Row { const char* settings; const char* commPort; const char* handshaking; const char* mentions /* empty: no message */; };
    const Row rows[] = {
        {"9600,x,8,1", "1", "", "パリティ「x」"},
        {"fast,n,8,1", "1", "", "ボーレート"},
        {"9600,n,8,1", "1", "7", "ハンドシェイク「7」"},
        {"9600,n,8,1", "1", "0", ""},
        {"9600,n,8,1", "abc", "", ""}, // a bad CommPort is only reported when Handshaking is set
        {"9600,n,8,1", "abc", "0", "ポート番号「abc」"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.settings) + "/" + row.commPort + "/" + row.handshaking);
        Link link;
        link.state.adapterProfile.settings = row.settings;
        link.state.systemSettings.CommPort = row.commPort;
        link.state.systemSettings.Handshaking = row.handshaking;
        EXPECT_TRUE(link.comm->OpenPort(1));
        ASSERT_EQ(link.boxes.shown.size(), *row.mentions ? 1u : 0u);
        if (*row.mentions == 0)
            continue;
        EXPECT_TRUE(link.boxes.shown[0].text.contains(row.mentions)) << link.boxes.shown[0].text.toStdString();
        EXPECT_EQ((std::pair{link.boxes.shown[0].title, link.boxes.shown[0].icon}),
                  std::pair(QString("着信"), MessageBoxes::Icon::Exclamation));
    }
}

// A partial line from before a reopen does not prefix the first line after it.
TEST(frmCommPort, ReopenForgetsAPartialLine)
{
    Link link(kOpen);
    link.deliver("stale");
    link.comm->ClosePort();
    link.state.adapterProfile.settings = "bad";
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.deliver("fresh\r");
    EXPECT_EQ(link.routines.texts(), QStringList{"fresh"});
}

// The standby indication follows the port and appState.
TEST(frmCommPort, StandbyIndication)
{
    Link link(kOpen, [](Link& l) { l.state.appState = AppStateCode::StandbyOn; });
    EXPECT_EQ(link.window.cbMachiuke, "待ち受け停止");
    EXPECT_EQ(link.window.iconFile, link.dir.path() + "/icons/on.png");
    link.comm->ClosePort();
    EXPECT_EQ(link.window.cbMachiuke, "待ち受け開始");
    EXPECT_EQ(link.window.iconFile, link.dir.path() + "/icons/off.png");
    link.state.appState = AppStateCode::StandbyOff;
    ASSERT_TRUE(link.comm->OpenPort(0));
    EXPECT_EQ(link.window.cbMachiuke, "待ち受け開始");
    // Without the main window nothing is touched.
    link.comm->setTerminalWindow(nullptr);
    link.window.calls.clear();
    link.comm->ClosePort();
    EXPECT_TRUE(link.window.calls.isEmpty());
}

// ClosePort on a closed port: no drain wait, caption still refreshed, the 200 ms pause.
TEST(frmCommClose, ClosedPortIsLeftAlone)
{
    Link link;
    int clockReads = 0;
    link.comm->setClock([&] { return ++clockReads, frmComm::Clock::now(); });
    link.comm->ClosePort();
    EXPECT_EQ((std::tuple{clockReads, link.window.cbMachiuke, link.pauser.pauses}),
              std::tuple(0, QString("待ち受け開始"), Pauses{200ms}));
}

// Pending output drains before the port closes: the adapter receives all of it.
TEST(frmCommClose, PendingOutputDrainsBeforeClosing)
{
    Link link(kOpen);
    link.comm->startWatchdog();
    const QByteArray bulk(200 * 1024, 'd');
    link.comm->MSComm1.write(bulk);
    link.comm->ClosePort();
    EXPECT_EQ((std::tuple{link.comm->IsPortOpen(), link.comm->isWatchdogRunning(),
                          link.pty->takeReceived().size() + link.pty->waitForBytes(1, 100ms).size()}),
              std::tuple(false, false, bulk.size()));
}

// Output not drained by the 10 s deadline: the port closes anyway (the clock jumps past it).
TEST(frmCommClose, UndrainedOutputClosesAtTheDeadline)
{
    Link link(kOpen);
    frmComm::Clock::time_point now = frmComm::Clock::now();
    std::vector<frmComm::Clock::time_point> reads;
    link.comm->setClock([&] {
        reads.push_back(now);
        now += 11s;
        return reads.back();
    });
    const QByteArray bulk(8 * 1024 * 1024, 'u');
    link.comm->MSComm1.write(bulk);
    link.comm->ClosePort();
    EXPECT_FALSE(link.comm->IsPortOpen());
    EXPECT_EQ(reads.size(), 2u) << "one read for the deadline, one after the first pass";
    EXPECT_LT(link.pty->waitForBytes(bulk.size(), 100ms).size(), bulk.size());
}

// After the watchdog's verdict (appState 999) the port closes without waiting for output.
TEST(frmCommClose, AdapterFaultClosesAtOnce)
{
    Link link(kOpen);
    int clockReads = 0;
    link.comm->setClock([&] { return ++clockReads, frmComm::Clock::now(); });
    link.comm->MSComm1.write(QByteArray(1024 * 1024, 'f'));
    link.state.appState = AppStateCode::AdapterFault;
    link.comm->ClosePort();
    EXPECT_EQ((std::tuple{link.comm->IsPortOpen(), clockReads, link.pauser.pauses}),
              std::tuple(false, 0, Pauses{200ms}));
}

// The watchdog polls, an answer keeps standby, a poll unanswered by the next tick is asked once more, a second one
// is a fault, closed after the box.
TEST(frmCommWatchdog, Timeline)
{
    Link link;
    link.state.appState = AppStateCode::StandbyOn;
    link.state.watchAck = WatchAck::Answered;
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.comm->startWatchdog();

    link.comm->watchTimer_Timer();
    EXPECT_EQ((std::pair{link.sent(4), link.state.watchAck}), std::pair(QByteArray("ATZ\r"), WatchAck::Outstanding));

    link.state.watchAck = WatchAck::Answered; // as the receive processing does for `ok`
    link.comm->watchTimer_Timer();
    EXPECT_EQ((std::tuple{link.sent(4), link.state.appState, link.boxes.shown.size()}),
              std::tuple("ATZ\r", AppStateCode::StandbyOn, 0u));

    // Unhandled lines may hold the answer (a burst of calls on a slow disk): no verdict, no poll.
    link.arriveUnseen("RING0312;1\r");
    link.comm->watchTimer_Timer();
    EXPECT_EQ((std::pair{link.state.appState, link.sent(0)}), std::pair(AppStateCode::StandbyOn, QByteArray()));
    ASSERT_TRUE(processEventsUntil([&] { return !link.routines.received.empty(); }, kPatience));

    link.comm->watchTimer_Timer();
    EXPECT_EQ((std::tuple{link.sent(4), link.state.appState, link.boxes.shown.size()}),
              std::tuple("ATZ\r", AppStateCode::StandbyOn, 0u));

    bool openWhileBoxShown = false;
    link.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        openWhileBoxShown = link.comm->IsPortOpen();
    };
    link.window.calls.clear();
    link.pauser.pauses.clear();
    link.comm->watchTimer_Timer();
    ASSERT_EQ(link.boxes.shown.size(), 1u);
    EXPECT_EQ(boxOf(link.boxes.shown[0]),
              Box("アダプタに異常が検出されました。", "着信", MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok));
    EXPECT_EQ(
        std::tuple(link.state.appState, link.comm->isWatchdogRunning(), openWhileBoxShown, link.comm->IsPortOpen()),
        std::tuple(AppStateCode::AdapterFault, false, true, false));
    EXPECT_EQ(link.pauser.pauses, Pauses{200ms}) << "no poll, no drain";
    EXPECT_EQ(link.window.calls.join(u'|'), "removeTaskTray|mnuMachiuke:待ち受け開始|cbMachiuke:待ち受け開始|repaint|"
                                            "setTaskTray:待ち受け開始|icon|cbMachiuke:待ち受け開始");
}

// Outside standby a tick does nothing at all.
TEST(frmCommWatchdog, NothingOutsideStandby)
{
    for (const AppStateCode appState : {AppStateCode::StandbyOff, AppStateCode::AdapterFault, AppStateCode::None}) {
        SCOPED_TRACE(appState);
        Link link(kOpen, [&](Link& l) { l.state.appState = appState; });
        for (const WatchAck ack : {WatchAck::Answered, WatchAck::Outstanding}) {
            link.state.watchAck = ack;
            link.comm->watchTimer_Timer();
            EXPECT_EQ(link.state.watchAck, ack);
        }
        EXPECT_EQ((std::tuple{link.boxes.shown.size(), link.comm->IsPortOpen(), link.sent(0)}),
                  std::tuple(0u, true, ""));
    }
}

// A vanished adapter closes the port; in standby it is a fault, shown after any receive box has closed.
TEST(frmCommWatchdog, VanishedPort)
{
    // clang-format off
    struct Row { const char* what; StateNumber appState; bool duringBox; bool fault; };
    const Row rows[] = {
        {"standby off", AppStateCode::StandbyOff, false, false},
        {"standby on, watchdog not running", AppStateCode::StandbyOn, false, true},
        {"standby on, a receive box open", AppStateCode::StandbyOn, true, true},
    };
    // clang-format on
    const QString faultText = "アダプタに異常が検出されました。";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Link link(kOpen, [&](Link& l) { l.state.appState = row.appState; });
        bool faultDuringBox = false;
        if (row.duringBox) {
            link.routines.onLine = [&](const FakeReceiveRoutines::Received&) {
                link.showRoutineBox();
            };
            link.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown& box) {
                if (box.text == faultText)
                    return;
                link.pty.reset();
                processEventsUntil([&] { return !link.comm->IsPortOpen(); }, kPatience);
                processEventsUntil([] { return false; }, 100ms);
                faultDuringBox = link.boxes.shown.size() > 1;
            };
            link.deliver("X\r");
        } else {
            link.pty.reset();
        }
        EXPECT_TRUE(processEventsUntil([&] { return !link.comm->IsPortOpen(); }, kPatience));
        processEventsUntil([] { return false; }, 100ms);
        const bool faultShown = !link.boxes.shown.empty() && link.boxes.shown.back().text == faultText;
        EXPECT_EQ((std::tuple{faultDuringBox, link.window.cbMachiuke, faultShown, link.state.appState}),
                  std::tuple(false, QString("待ち受け開始"), row.fault,
                             row.fault ? AppStateCode::AdapterFault : AppStateCode(row.appState)));
        if (row.fault) {
            EXPECT_EQ(link.window.mnuMachiuke, "待ち受け開始");
            EXPECT_TRUE(link.window.calls.contains("setTaskTray:待ち受け開始"));
        }
    }
}

// The reply wait: a reply before the time-out gives 1, set in the mode the caller asked for.
TEST(frmCommReplyWait, ReplyBeforeTheTimer)
{
    Link link(kOpen);
    QObject::connect(link.pty.get(), &PseudoTerminal::bytesReceived, [&](const QByteArray& bytes) {
        if (bytes.contains("ATI3\r"))
            link.pty->write("CTI-INS100\r");
    });
    StateNumber modeSeen = -1;
    link.routines.onLine = [&](const FakeReceiveRoutines::Received&) {
        modeSeen = link.state.rcvMode;
        link.routines.reply().status = ReplyStatus::Handled;
    };
    link.state.rcvMode = RcvMode::Idle;
    link.routines.reply().status = ReplyStatus::TimedOut;
    const ReplyStatus status = link.comm->WaitForReply(RcvMode::Initial, "ATI3", frmComm::kWaitInterval);
    EXPECT_EQ((std::tuple{status, modeSeen, link.comm->isReplyWaitRunning(), link.pauser.pauses.front()}),
              std::tuple(ReplyStatus::Handled, StateNumber(RcvMode::Initial), false, 1000ms));
}

// The timer ticks before any reply: -999.
TEST(frmCommReplyWait, TimerFirstGivesTimeOut)
{
    Link link(kOpen);
    link.pauser.onPause = [&](std::chrono::milliseconds d) {
        if (d == frmComm::kReplyPoll)
            link.comm->waitTimer_Timer();
    };
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::Initial, "ATI3", frmComm::kWaitInterval), ReplyStatus::TimedOut);
    EXPECT_FALSE(link.comm->isReplyWaitRunning());
}

// A dialog's own wait timer ends the wait the same way, with the interval it asks for.
TEST(frmCommReplyWait, DialogTimerEndsTheWait)
{
    Link link(kOpen);
    QTimer dialogTimer;
    const ReplyStatus status = link.comm->WaitForReply(RcvMode::GetAInfo, "AT*CTI?", dialogTimer, 1ms);
    EXPECT_EQ((std::tuple{status, link.state.rcvMode, dialogTimer.isActive(), dialogTimer.interval()}),
              std::tuple(ReplyStatus::TimedOut, RcvMode::GetAInfo, false, 1));
    // Once the wait is over the timer no longer touches replyStatus.
    link.routines.reply().status = ReplyStatus::Waiting;
    dialogTimer.start();
    processEventsUntil([] { return false; }, 20ms);
    EXPECT_EQ(link.routines.reply().status, ReplyStatus::Waiting);
}

// A reply and a tick handled in the same pass: the reply wins.
TEST(frmCommReplyWait, ReplyAndTickInOnePassReplyWins)
{
    Link link(kOpen);
    bool first = true;
    link.pauser.onPause = [&](std::chrono::milliseconds d) {
        if (d != frmComm::kReplyPoll || !first)
            return;
        first = false;
        link.arriveUnseen("CTI-INS100\r");
        link.comm->waitTimer_Timer();
        EXPECT_EQ(link.routines.reply().status, ReplyStatus::TimedOut);
    };
    link.routines.onLine = [&](const FakeReceiveRoutines::Received&) {
        link.routines.reply().status = ReplyStatus::Handled;
    };
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::Initial, "ATI3", frmComm::kWaitInterval), ReplyStatus::Handled);
}

// A command that cannot be sent ends the wait at once with -999.
TEST(frmCommReplyWait, ClosedPortEndsTheWaitAtOnce)
{
    Link link;
    const ReplyStatus status = link.comm->WaitForReply(RcvMode::Initial, "ATI3", frmComm::kWaitInterval);
    EXPECT_EQ((std::tuple{status, link.pauser.pauses.size(), link.comm->isReplyWaitRunning()}),
              std::tuple(ReplyStatus::TimedOut, 0u, false));
}
