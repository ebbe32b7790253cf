#include "link/frmComm.h"

#include "app/Logging.h"
#include "link/Cp932.h"
#include "pty/PseudoTerminal.h"
#include "support/FakeReceiveRoutines.h"
#include "support/FakeTerminalWindow.h"
#include "support/RecordingPauser.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StateCodePrinter.h"
#include "support/TempAppDir.h"
#include "support/TraceCapture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <memory>
#include <sys/ioctl.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = 5s;

template<typename Condition> bool processEventsUntil(Condition done, std::chrono::milliseconds patience = kPatience)
{
    const QDeadlineTimer deadline(patience);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

void processEventsFor(std::chrono::milliseconds duration)
{
    processEventsUntil([] { return false; }, duration);
}

// One adapter on a pseudo-terminal mapped to COM1, and the link with fakes around it.
struct Link
{
    Link()
    {
        if (!pty->isValid())
            throw std::runtime_error(pty->errorString().toStdString());
        dir.writeSettings("[PORTS]\nCOM1=" + pty->portPath().toUtf8() + "\n");
        state = dir.makeState();
        state.systemSettings.appName = QStringLiteral("着信");
        state.systemSettings.CommPort = QStringLiteral("1");
        state.systemSettings.iconFile_on = QStringLiteral("\\icons\\on.png");
        state.systemSettings.iconFile_off = QStringLiteral("\\icons\\off.png");
        state.adapterModel = QStringLiteral("CTI-INS100");
        state.adapterProfile.kind = QStringLiteral("INS");
        state.adapterProfile.settings = QStringLiteral("9600,n,8,1");
        state.adapterProfile.icommand[1] = QStringLiteral("ATZ");
        comm = std::make_unique<frmComm>(state, boxes, pauser, routines);
        comm->setTerminalWindow(&window);
    }
    ~Link() { comm->setTerminalWindow(nullptr); }

    void useSoranoT1()
    {
        state.adapterModel = QStringLiteral("ソラノT1");
        state.adapterProfile.kind = QStringLiteral("ANALOG");
        state.adapterProfile.ctrlcode = QStringLiteral("True");
    }

    // Writes `bytes` as the adapter and lets the link take them as exactly one receive event.
    void deliver(const QByteArray& bytes)
    {
        pty->write(bytes);
        const QDeadlineTimer deadline(kPatience);
        int waiting = 0;
        while (!deadline.hasExpired()) {
            if (::ioctl(comm->MSComm1.handle(), FIONREAD, &waiting) == 0 && waiting >= bytes.size())
                break;
            std::this_thread::sleep_for(1ms);
        }
        processEventsUntil([&] { return comm->MSComm1.bytesAvailable() == 0 && waitingBytes() == 0; });
    }

    // Writes `bytes` as the adapter and waits until they are in the driver, without letting
    // the link see them.
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

// Line framing: split lines, empty lines, control bytes, several lines per read and CP932
// characters split between two reads all come out as whole lines in arrival order.
TEST(frmCommReceive, LineFraming)
{
    const QByteArray callerName = toCp932(QStringLiteral("着信0312345678"));
    struct Row
    {
        const char* what;
        QList<QByteArray> events;
        QStringList lines;
    };
    const Row rows[] = {
        {"a line split over two events; LF dropped", {"ABC", "DE\r\n"}, {QStringLiteral("ABCDE")}},
        {"empty lines are never handed on", {"\r\rX\r"}, {QStringLiteral("X")}},
        {"control characters inside a line are dropped", {"A\tB\x01\r"}, {QStringLiteral("AB")}},
        {"two lines in one read, in order", {"first\rsecond\r"}, {QStringLiteral("first"), QStringLiteral("second")}},
        {"a double-byte character split between reads",
         {callerName.left(1), callerName.mid(1) + "\r"},
         {QStringLiteral("着信0312345678")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Link link;
        ASSERT_TRUE(link.comm->OpenPort(0));
        for (const QByteArray& event : row.events)
            link.deliver(event);
        EXPECT_EQ(link.routines.texts(), row.lines);
        EXPECT_TRUE(link.sent(0).isEmpty()) << "line framing acknowledges nothing";
    }
}

// Control-code framing: noise around a frame, empty frames and split frames, with exactly
// one framed ACK per receive event.
TEST(frmCommReceive, ControlCodeFraming)
{
    struct Row
    {
        const char* what;
        QList<QByteArray> events;
        QStringList frames;
    };
    const Row rows[] = {
        {"bytes before STX and after ETX are discarded",
         {"xy\x02"
          "1234\x03z"},
         {QStringLiteral("1234")}},
        {"what follows ETX in the same read does not reach the next frame",
         {"\x02"
          "12\x03z",
          "34\x03"},
         {QStringLiteral("12"), QStringLiteral("34")}},
        {"an empty frame hands nothing on", {"\x02\x03"}, {}},
        {"a frame split over two events",
         {"\x02"
          "12",
          "34\x03"},
         {QStringLiteral("1234")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Link link;
        link.useSoranoT1();
        ASSERT_TRUE(link.comm->OpenPort(0));
        for (const QByteArray& event : row.events)
            link.deliver(event);
        EXPECT_EQ(link.routines.texts(), row.frames);
        for (const auto& received : link.routines.received)
            EXPECT_EQ(received.routine, QStringLiteral("rcvProcessT1"));
        const QByteArray ack("\x02\x06\x03");
        EXPECT_EQ(link.sent(ack.size() * row.events.size()), ack.repeated(row.events.size()));
        std::vector<std::chrono::milliseconds> expectedPauses;
        for (qsizetype i = 0; i < row.events.size(); ++i)
            expectedPauses.insert(expectedPauses.end(), {100ms, 100ms, 1000ms});
        EXPECT_EQ(link.pauser.pauses, expectedPauses);
    }
}

// Which routine gets a line: `kind` exactly "INS", `ctrlcode` exactly one of three spellings.
TEST(frmCommReceive, RoutineChoice)
{
    struct Row
    {
        const char* kind;
        const char* ctrlcode;
        const char* routine;
        const char* text;
    };
    // The same bytes read as the frame "F" or, with STX/ETX dropped, as the line "FL".
    const Row rows[] = {
        {"INS", "", "rcvProcess", "FL"},         {"ins", "", "rcvProcessA", "FL"},
        {"Ins", "False", "rcvProcessA", "FL"},   {"ANALOG", "", "rcvProcessA", "FL"},
        {"", "", "rcvProcessA", "FL"},           {"INS ", "", "rcvProcessA", "FL"},
        {"INS", "TRUE", "rcvProcessT1", "F"},    {"INS", "true", "rcvProcessT1", "F"},
        {"ANALOG", "True", "rcvProcessT1", "F"}, {"INS", "tRUE", "rcvProcess", "FL"},
        {"ANALOG", "1", "rcvProcessA", "FL"},    {"ANALOG", "True ", "rcvProcessA", "FL"},
        {"ANALOG", "yes", "rcvProcessA", "FL"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.kind) + " / " + row.ctrlcode);
        Link link;
        link.state.adapterProfile.kind = QString::fromUtf8(row.kind);
        link.state.adapterProfile.ctrlcode = QString::fromUtf8(row.ctrlcode);
        ASSERT_TRUE(link.comm->OpenPort(0));
        link.deliver("\x02"
                     "F\x03L\r");
        ASSERT_EQ(link.routines.received.size(), 1u);
        EXPECT_EQ(link.routines.received[0].routine, QString::fromUtf8(row.routine));
        EXPECT_EQ(link.routines.received[0].text, QString::fromUtf8(row.text));
    }
}

// In debug mode every read is traced and shown in the debug terminal, lines are traced, and
// a character split between reads still shows intact.
TEST(frmCommReceive, DebugModeTracesAndShowsReads)
{
    TraceCapture trace;
    Link link;
    link.state.systemSettings.debugmode = QStringLiteral("True");
    link.window.txtTerm = QStringLiteral("> ");
    ASSERT_TRUE(link.comm->OpenPort(0));
    const QByteArray name = toCp932(QStringLiteral("着"));
    link.deliver("A" + name.left(1));
    link.deliver(name.mid(1) + "\r");
    EXPECT_EQ(link.routines.texts(), QStringList{QStringLiteral("A着")});
    EXPECT_EQ(link.window.txtTerm, QStringLiteral("> A\r\n着\r\r\n"));
    EXPECT_TRUE(trace.lines.contains(QStringLiteral("**RCV - A着"))) << trace.lines.join(u'|').toStdString();
    EXPECT_TRUE(trace.lines.contains(QStringLiteral("Receive - A")));
}

// Normal operation shows nothing received in the debug terminal.
TEST(frmCommReceive, NothingShownOutsideDebugMode)
{
    Link link;
    link.state.systemSettings.debugmode = QStringLiteral("False");
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.deliver("RING0312345678\r");
    EXPECT_TRUE(link.window.txtTerm.isEmpty());
    EXPECT_EQ(link.routines.received.size(), 1u);
}

// A receive routine showing a modal box while more lines arrive: the later lines wait until
// the first has been dealt with, then follow in order; no routine runs inside another.
TEST(frmCommReceive, OneLineAtATimeWhileAMessageBoxIsOpen)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
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
            link.boxes.show(QStringLiteral("rcvProcess:失敗"), link.state.systemSettings.appName,
                            MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
    };
    link.deliver("A\r");
    processEventsUntil([&] { return link.routines.received.size() >= 3; });
    EXPECT_EQ(seenDuringBox, QStringList{QStringLiteral("A")});
    EXPECT_EQ(link.routines.texts(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
    EXPECT_EQ(link.routines.maxDepth, 1);
}

// Bytes arriving while a watchdog poll goes out: the poll is sent whole, pause included,
// before anything received is handed on, and the acknowledgement of control-code framing
// follows the poll instead of running inside it.
TEST(frmCommReceive, WhatArrivesDuringASendWaitsForIt)
{
    const QByteArray frame =
        "\x02" + toCp932(QStringLiteral("T1STAT001") + QStringLiteral("0312").rightJustified(20)) + "\x03";
    struct Row
    {
        const char* what;
        bool controlCode;
        QByteArray arriving;
        QStringList sequence;
        QByteArray wire;
    };
    const Row rows[] = {
        {"a notification of an ISDN adapter",
         false,
         "RING0312;1\r",
         {"pause:1000", "returned", "line:RING0312;1"},
         "ATZ\r"},
        {"a frame of the control-code adapter",
         true,
         frame,
         {"pause:100", "pause:100", "pause:1000", "returned", "pause:100", "pause:100", "pause:1000",
          "line:T1STAT001" + QStringLiteral("0312").rightJustified(20)},
         "\x02S\x03\x02\x06\x03"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QStringList sequence; // outlives the link, whose closing pauses too
        Link link;
        if (row.controlCode) {
            link.useSoranoT1();
            link.state.adapterProfile.icommand[1] = QStringLiteral("S");
        }
        link.state.appState = AppStateCode::StandbyOn;
        link.state.watchAck = WatchAck::Answered;
        ASSERT_TRUE(link.comm->OpenPort(0));
        link.pauser.onPause = [&](std::chrono::milliseconds d) {
            if (sequence.isEmpty())
                link.arriveUnseen(row.arriving);
            sequence.append(QStringLiteral("pause:") + QString::number(d.count()));
        };
        link.routines.onLine = [&](const FakeReceiveRoutines::Received& line) {
            sequence.append(QStringLiteral("line:") + line.text);
        };
        link.comm->watchTimer_Timer();
        sequence.append(QStringLiteral("returned"));
        ASSERT_TRUE(processEventsUntil([&] { return !link.routines.received.empty(); }));
        EXPECT_EQ(sequence, row.sequence);
        EXPECT_EQ(link.sent(row.wire.size()), row.wire);
        EXPECT_EQ(link.routines.maxDepth, 1);
    }
}

// An unfinished line or frame followed by a second of silence is line noise: it is dropped,
// with a trace, and cannot spoil the adapter's next line. A line whose parts come a few
// milliseconds apart still assembles.
TEST(frmCommReceive, StaleFragmentsAreDropped)
{
    struct Step
    {
        std::chrono::milliseconds after;
        QByteArray bytes;
    };
    struct Row
    {
        const char* what;
        bool controlCode;
        std::vector<Step> steps;
        QStringList lines;
        QStringList dropped;
    };
    const Row rows[] = {
        {"one stray byte, then a call", false, {{0ms, "x"}, {1300ms, "RING0312;1\r"}}, {"RING0312;1"}, {"**DROP - x"}},
        {"a burst of garbage without CR, then a call",
         false,
         {{0ms, "\x01#%&garbage"}, {1300ms, "RING0312;1\r"}},
         {"RING0312;1"},
         {"**DROP - #%&garbage"}},
        {"a line split over two reads", false, {{0ms, "RING03"}, {30ms, "12;1\r"}}, {"RING0312;1"}, {}},
        {"an unfinished frame",
         true,
         {{0ms, "\x02"
                "12"},
          {1300ms, "34\x03"}},
         {"34"},
         {"**DROP - 12"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TraceCapture trace;
        Link link;
        link.state.systemSettings.debugmode = QStringLiteral("True");
        if (row.controlCode)
            link.useSoranoT1();
        ASSERT_TRUE(link.comm->OpenPort(0));
        for (const Step& step : row.steps) {
            processEventsFor(step.after);
            link.deliver(step.bytes);
        }
        EXPECT_EQ(link.routines.texts(), row.lines);
        EXPECT_EQ(trace.lines.filter(QStringLiteral("**DROP - ")), row.dropped);
    }
}

// The rest of a line that arrives while a routine keeps the thread busy for more than a
// second (a slow history database) has not been silent: the line stays whole.
TEST(frmCommReceive, ABusyRoutineDoesNotMakeTheNextLineStale)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.routines.onLine = [&](const FakeReceiveRoutines::Received& line) {
        if (line.text != u"L1")
            return;
        link.pty->write("b\r");
        std::this_thread::sleep_for(1300ms);
    };
    link.deliver("L1\rL2a");
    ASSERT_TRUE(processEventsUntil([&] { return link.routines.received.size() == 2; }));
    EXPECT_EQ(link.routines.texts(), (QStringList{QStringLiteral("L1"), QStringLiteral("L2ab")}));
}

// Commands are framed per model and reach the driver before the 1000 ms pause starts.
TEST(frmCommSend, FramingAndPausesPerModel)
{
    struct Row
    {
        QString model;
        QString command;
        QByteArray wire;
        std::vector<std::chrono::milliseconds> pauses;
    };
    const Row rows[] = {
        {QStringLiteral("CTI-INS100"), QStringLiteral("ATZ"), "ATZ\r", {1000ms}},
        {QStringLiteral("CTI-AN10"), QString(), "\r", {1000ms}},
        {QStringLiteral("CTI-INS200"),
         QStringLiteral("AT名前"),
         "AT" + toCp932(QStringLiteral("名前")) + "\r",
         {1000ms}},
        {QStringLiteral("ソラノT1"), QStringLiteral("S"), "\x02S\x03", {100ms, 100ms, 1000ms}},
        {QStringLiteral("ソラノT1"), QString(), "\x02\x03", {100ms, 100ms, 1000ms}},
        {QStringLiteral("ソラノｔ1"), QStringLiteral("S"), "S\r", {1000ms}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model.toStdString() + " " + row.command.toStdString());
        Link link;
        link.state.adapterModel = row.model;
        ASSERT_TRUE(link.comm->OpenPort(0));
        qint64 unsentAtPause = -1;
        link.pauser.onPause = [&](std::chrono::milliseconds d) {
            if (d == 1000ms)
                unsentAtPause = link.comm->MSComm1.bytesToWrite();
        };
        EXPECT_TRUE(link.comm->SendCommand(row.command));
        EXPECT_EQ(unsentAtPause, 0);
        EXPECT_EQ(link.pauser.pauses, row.pauses);
        EXPECT_EQ(link.sent(row.wire.size()), row.wire);
    }
}

// The command trace names the command and the bytes still unsent, as one line.
TEST(frmCommSend, DebugTraceShowsUnsentBytes)
{
    TraceCapture trace;
    Link link;
    link.state.systemSettings.debugmode = QStringLiteral("True");
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.comm->MSComm1.write("abc"); // queued, not yet handed to the driver
    EXPECT_TRUE(link.comm->SendCommand(QStringLiteral("X")));
    EXPECT_TRUE(trace.lines.contains(QStringLiteral("****SND--X[3]"))) << trace.lines.join(u'|').toStdString();
    EXPECT_EQ(link.sent(5), "abcX\r");
}

// Sending on a closed port fails visibly to the caller and does not pause; a typed character
// goes out unframed.
TEST(frmCommSend, ClosedPortFailsAndRawCharIsUnframed)
{
    Link link;
    EXPECT_FALSE(link.comm->SendCommand(QStringLiteral("ATZ")));
    EXPECT_FALSE(link.comm->SendRawChar('a'));
    EXPECT_TRUE(link.pauser.pauses.empty());
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.useSoranoT1();
    EXPECT_TRUE(link.comm->SendRawChar('q'));
    EXPECT_EQ(link.sent(1), "q");
    EXPECT_TRUE(link.pauser.pauses.empty());
}

// OpenPort(0) takes the configured CommPort, OpenPort(3) port 3 whatever CommPort says; both
// through the PORTS mapping. A missing device fails without a message.
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
    ASSERT_TRUE(link.comm->SendCommand(QStringLiteral("ATZ")));
    EXPECT_EQ(third.waitForBytes(4, kPatience), "ATZ\r");
    link.comm->ClosePort();
    EXPECT_FALSE(link.comm->OpenPort(4));
    EXPECT_FALSE(link.comm->IsPortOpen());
    EXPECT_TRUE(link.boxes.shown.empty());
}

// A rejected value is reported (exclamation, application title), configuration stops there,
// and the open is still attempted.
TEST(frmCommPort, RejectedConfigurationIsReportedAndThePortStillOpens)
{
    struct Row
    {
        const char* settings;
        const char* commPort;
        const char* handshaking;
        const char* mentions; // empty: no message
    };
    const Row rows[] = {
        {"9600,x,8,1", "1", "", "パリティ「x」"},
        {"fast,n,8,1", "1", "", "ボーレート"},
        {"9600,n,8,1", "1", "7", "ハンドシェイク「7」"},
        {"9600,n,8,1", "1", "0", ""},
        // A bad CommPort is only reported when Handshaking is set.
        {"9600,n,8,1", "abc", "", ""},
        {"9600,n,8,1", "abc", "0", "ポート番号「abc」"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.settings) + "/" + row.commPort + "/" + row.handshaking);
        Link link;
        link.state.adapterProfile.settings = QString::fromUtf8(row.settings);
        link.state.systemSettings.CommPort = QString::fromUtf8(row.commPort);
        link.state.systemSettings.Handshaking = QString::fromUtf8(row.handshaking);
        EXPECT_TRUE(link.comm->OpenPort(1));
        if (*row.mentions == 0) {
            EXPECT_TRUE(link.boxes.shown.empty());
            continue;
        }
        ASSERT_EQ(link.boxes.shown.size(), 1u);
        EXPECT_TRUE(link.boxes.shown[0].text.contains(QString::fromUtf8(row.mentions)))
            << link.boxes.shown[0].text.toStdString();
        EXPECT_EQ(link.boxes.shown[0].title, QStringLiteral("着信"));
        EXPECT_EQ(link.boxes.shown[0].icon, MessageBoxes::Icon::Exclamation);
    }
}

// A partial line from before a reopen does not prefix the first line after it.
TEST(frmCommPort, ReopenForgetsAPartialLine)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.deliver("stale");
    link.comm->ClosePort();
    link.state.adapterProfile.settings = QStringLiteral("bad");
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.deliver("fresh\r");
    EXPECT_EQ(link.routines.texts(), QStringList{QStringLiteral("fresh")});
}

// The standby indication follows the port and appState.
TEST(frmCommPort, StandbyIndication)
{
    Link link;
    link.state.appState = AppStateCode::StandbyOn;
    ASSERT_TRUE(link.comm->OpenPort(0));
    EXPECT_EQ(link.window.cbMachiuke, QStringLiteral("待ち受け停止"));
    EXPECT_EQ(link.window.iconFile, link.dir.path() + QStringLiteral("/icons/on.png"));
    link.comm->ClosePort();
    EXPECT_EQ(link.window.cbMachiuke, QStringLiteral("待ち受け開始"));
    EXPECT_EQ(link.window.iconFile, link.dir.path() + QStringLiteral("/icons/off.png"));
    link.state.appState = AppStateCode::StandbyOff;
    ASSERT_TRUE(link.comm->OpenPort(0));
    EXPECT_EQ(link.window.cbMachiuke, QStringLiteral("待ち受け開始"));
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
    link.comm->setClock([&] {
        ++clockReads;
        return frmComm::Clock::now();
    });
    link.comm->ClosePort();
    EXPECT_EQ(clockReads, 0);
    EXPECT_EQ(link.window.cbMachiuke, QStringLiteral("待ち受け開始"));
    EXPECT_EQ(link.pauser.pauses, std::vector<std::chrono::milliseconds>{200ms});
}

// Pending output drains before the port closes: the adapter receives all of it.
TEST(frmCommClose, PendingOutputDrainsBeforeClosing)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.comm->startWatchdog();
    const QByteArray bulk(200 * 1024, 'd');
    link.comm->MSComm1.write(bulk);
    link.comm->ClosePort();
    EXPECT_FALSE(link.comm->IsPortOpen());
    EXPECT_FALSE(link.comm->isWatchdogRunning());
    EXPECT_EQ(link.pty->takeReceived().size() + link.pty->waitForBytes(1, 100ms).size(), bulk.size());
}

// Output that does not drain by the deadline: the port closes anyway (the clock jumps past
// the 10 s deadline instead of the test waiting for it).
TEST(frmCommClose, UndrainedOutputClosesAtTheDeadline)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
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
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    int clockReads = 0;
    link.comm->setClock([&] {
        ++clockReads;
        return frmComm::Clock::now();
    });
    link.comm->MSComm1.write(QByteArray(1024 * 1024, 'f'));
    link.state.appState = AppStateCode::AdapterFault;
    link.comm->ClosePort();
    EXPECT_FALSE(link.comm->IsPortOpen());
    EXPECT_EQ(clockReads, 0);
    EXPECT_EQ(link.pauser.pauses, std::vector<std::chrono::milliseconds>{200ms});
}

// The watchdog: the first tick polls; an answer keeps standby; a poll unanswered by the next
// tick ends standby with the fault message, the port closed only after the box.
TEST(frmCommWatchdog, Timeline)
{
    Link link;
    link.state.appState = AppStateCode::StandbyOn;
    link.state.watchAck = WatchAck::Answered;
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.comm->startWatchdog();

    link.comm->watchTimer_Timer();
    EXPECT_EQ(link.sent(4), "ATZ\r");
    EXPECT_EQ(link.state.watchAck, WatchAck::Outstanding);

    link.state.watchAck = WatchAck::Answered; // as the receive processing does for `ok`
    link.comm->watchTimer_Timer();
    EXPECT_EQ(link.sent(4), "ATZ\r");
    EXPECT_EQ(link.state.appState, AppStateCode::StandbyOn);
    EXPECT_TRUE(link.boxes.shown.empty());

    // Unhandled lines may hold the answer (a burst of calls on a slow disk): no verdict, no poll.
    link.arriveUnseen("RING0312;1\r");
    link.comm->watchTimer_Timer();
    EXPECT_EQ(link.state.appState, AppStateCode::StandbyOn);
    EXPECT_TRUE(link.sent(0).isEmpty());
    ASSERT_TRUE(processEventsUntil([&] { return !link.routines.received.empty(); }));

    bool openWhileBoxShown = false;
    link.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
        openWhileBoxShown = link.comm->IsPortOpen();
    };
    link.window.calls.clear();
    link.pauser.pauses.clear();
    link.comm->watchTimer_Timer();
    EXPECT_EQ(link.state.appState, AppStateCode::AdapterFault);
    EXPECT_FALSE(link.comm->isWatchdogRunning());
    ASSERT_EQ(link.boxes.shown.size(), 1u);
    EXPECT_EQ(link.boxes.shown[0].text, QStringLiteral("アダプタに異常が検出されました。"));
    EXPECT_EQ(link.boxes.shown[0].title, QStringLiteral("着信"));
    EXPECT_EQ(link.boxes.shown[0].icon, MessageBoxes::Icon::Critical);
    EXPECT_EQ(link.boxes.shown[0].buttons, MessageBoxes::Buttons::Ok);
    EXPECT_TRUE(openWhileBoxShown);
    EXPECT_FALSE(link.comm->IsPortOpen());
    EXPECT_EQ(link.pauser.pauses, std::vector<std::chrono::milliseconds>{200ms}) << "no poll, no drain";
    const QStringList expected{QStringLiteral("removeTaskTray"),           QStringLiteral("mnuMachiuke:待ち受け開始"),
                               QStringLiteral("cbMachiuke:待ち受け開始"),  QStringLiteral("repaint"),
                               QStringLiteral("setTaskTray:待ち受け開始"), QStringLiteral("icon"),
                               QStringLiteral("cbMachiuke:待ち受け開始")};
    EXPECT_EQ(link.window.calls, expected);
}

// Outside standby a tick does nothing at all.
TEST(frmCommWatchdog, NothingOutsideStandby)
{
    for (const AppStateCode appState : {AppStateCode::StandbyOff, AppStateCode::AdapterFault, AppStateCode::None}) {
        SCOPED_TRACE(appState);
        Link link;
        link.state.appState = appState;
        ASSERT_TRUE(link.comm->OpenPort(0));
        for (const WatchAck ack : {WatchAck::Answered, WatchAck::Outstanding}) {
            link.state.watchAck = ack;
            link.comm->watchTimer_Timer();
            EXPECT_EQ(link.state.watchAck, ack);
        }
        EXPECT_TRUE(link.boxes.shown.empty());
        EXPECT_TRUE(link.comm->IsPortOpen());
        EXPECT_TRUE(link.sent(0).isEmpty());
    }
}

// The adapter vanishing (USB unplugged) closes the port at once. Outside standby that is all;
// in standby it ends standby with the fault message whatever `watch` says, and while a
// routine holds a message box open, the verdict follows once that box has closed.
TEST(frmCommWatchdog, VanishedPort)
{
    struct Row
    {
        const char* what;
        StateNumber appState;
        bool duringBox;
        bool fault;
    };
    const Row rows[] = {
        {"standby off", AppStateCode::StandbyOff, false, false},
        {"standby on, watchdog not running", AppStateCode::StandbyOn, false, true},
        {"standby on, a receive box open", AppStateCode::StandbyOn, true, true},
    };
    const QString faultText = QStringLiteral("アダプタに異常が検出されました。");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Link link;
        link.state.appState = row.appState;
        ASSERT_TRUE(link.comm->OpenPort(0));
        bool faultDuringBox = false;
        if (row.duringBox) {
            link.routines.onLine = [&](const FakeReceiveRoutines::Received&) {
                link.boxes.show(QStringLiteral("rcvProcess:失敗"), link.state.systemSettings.appName,
                                MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
            };
            link.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown& box) {
                if (box.text == faultText)
                    return;
                link.pty.reset();
                processEventsUntil([&] { return !link.comm->IsPortOpen(); });
                processEventsFor(100ms);
                faultDuringBox = link.boxes.shown.size() > 1;
            };
            link.deliver("X\r");
        } else {
            link.pty.reset();
        }
        EXPECT_TRUE(processEventsUntil([&] { return !link.comm->IsPortOpen(); }));
        processEventsFor(100ms);
        EXPECT_FALSE(faultDuringBox);
        EXPECT_EQ(link.window.cbMachiuke, QStringLiteral("待ち受け開始"));
        const bool faultShown = !link.boxes.shown.empty() && link.boxes.shown.back().text == faultText;
        EXPECT_EQ(faultShown, row.fault);
        EXPECT_EQ(link.state.appState, row.fault ? AppStateCode::AdapterFault : AppStateCode(row.appState));
        if (row.fault) {
            EXPECT_EQ(link.window.mnuMachiuke, QStringLiteral("待ち受け開始"));
            EXPECT_TRUE(link.window.calls.contains(QStringLiteral("setTaskTray:待ち受け開始")));
        }
    }
}

// The reply wait: a reply before the time-out gives 1, set in the mode the caller asked for.
TEST(frmCommReplyWait, ReplyBeforeTheTimer)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    QObject::connect(link.pty.get(), &PseudoTerminal::bytesReceived, [&](const QByteArray& bytes) {
        if (bytes.contains("ATI3\r"))
            link.pty->write("CTI-INS100\r");
    });
    StateNumber modeSeen = -1;
    link.routines.onLine = [&](const FakeReceiveRoutines::Received&) {
        modeSeen = link.state.rcvMode;
        link.state.replyStatus = ReplyStatus::Handled;
    };
    link.state.rcvMode = RcvMode::Idle;
    link.state.replyStatus = ReplyStatus::TimedOut;
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::Initial, QStringLiteral("ATI3"), frmComm::kWaitInterval),
              ReplyStatus::Handled);
    EXPECT_EQ(modeSeen, RcvMode::Initial);
    EXPECT_FALSE(link.comm->isReplyWaitRunning());
    EXPECT_EQ(link.pauser.pauses.front(), 1000ms);
}

// The timer ticks before any reply: -999.
TEST(frmCommReplyWait, TimerFirstGivesTimeOut)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    link.pauser.onPause = [&](std::chrono::milliseconds d) {
        if (d == frmComm::kReplyPoll)
            link.comm->waitTimer_Timer();
    };
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::Initial, QStringLiteral("ATI3"), frmComm::kWaitInterval),
              ReplyStatus::TimedOut);
    EXPECT_FALSE(link.comm->isReplyWaitRunning());
}

// A dialog's own wait timer ends the wait the same way, with the interval it asks for.
TEST(frmCommReplyWait, DialogTimerEndsTheWait)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    QTimer dialogTimer;
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::GetAInfo, QStringLiteral("AT*CTI?"), dialogTimer, 1ms),
              ReplyStatus::TimedOut);
    EXPECT_EQ(link.state.rcvMode, RcvMode::GetAInfo);
    EXPECT_FALSE(dialogTimer.isActive());
    EXPECT_EQ(dialogTimer.interval(), 1);
    // Once the wait is over the timer no longer touches replyStatus.
    link.state.replyStatus = ReplyStatus::Waiting;
    dialogTimer.start();
    processEventsUntil([] { return false; }, 20ms);
    EXPECT_EQ(link.state.replyStatus, ReplyStatus::Waiting);
}

// A reply and a tick handled in the same pass: the reply wins.
TEST(frmCommReplyWait, ReplyAndTickInOnePassReplyWins)
{
    Link link;
    ASSERT_TRUE(link.comm->OpenPort(0));
    bool first = true;
    link.pauser.onPause = [&](std::chrono::milliseconds d) {
        if (d != frmComm::kReplyPoll || !first)
            return;
        first = false;
        link.pty->write("CTI-INS100\r");
        const QDeadlineTimer deadline(kPatience);
        while (link.waitingBytes() < 11 && !deadline.hasExpired())
            std::this_thread::sleep_for(1ms);
        link.comm->waitTimer_Timer();
        EXPECT_EQ(link.state.replyStatus, ReplyStatus::TimedOut);
    };
    link.routines.onLine = [&](const FakeReceiveRoutines::Received&) {
        link.state.replyStatus = ReplyStatus::Handled;
    };
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::Initial, QStringLiteral("ATI3"), frmComm::kWaitInterval),
              ReplyStatus::Handled);
}

// A command that cannot be sent ends the wait at once with -999.
TEST(frmCommReplyWait, ClosedPortEndsTheWaitAtOnce)
{
    Link link;
    EXPECT_EQ(link.comm->WaitForReply(RcvMode::Initial, QStringLiteral("ATI3"), frmComm::kWaitInterval),
              ReplyStatus::TimedOut);
    EXPECT_TRUE(link.pauser.pauses.empty());
    EXPECT_FALSE(link.comm->isReplyWaitRunning());
}
