#include "AdapterSimulator.h"
#include "SimulatorConsole.h"
#include "support/TempAppDir.h"
#include "tools/SerialPeer.h"

#include <QSignalSpy>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray cp932(const QString& text)
{
    QStringEncoder encoder("CP932");
    return encoder.encode(text);
}

QString fromCp932(const QByteArray& bytes)
{
    QStringDecoder decoder("CP932");
    return decoder.decode(bytes);
}

QByteArray framed(const QByteArray& text)
{
    return '\x02' + text + '\x03';
}

const QString kIns100 = QStringLiteral("CTI-INS100");
const QString kIns200 = QStringLiteral("CTI-INS200");
const QString kAn10 = QStringLiteral("CTI-AN10");
const QString kT1 = QStringLiteral("ソラノT1");

class AdapterSimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override { m_app.copyShippedSettings(); }

    /// Plays `model` of the settings file and opens the line to it.
    bool start(const QString& model)
    {
        m_sim.reset();
        m_sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(m_app.settingsPath(), model));
        if (!m_sim->isValid()) {
            ADD_FAILURE() << m_sim->errorString().toStdString();
            return false;
        }
        if (!m_peer.open(m_sim->slavePath())) {
            ADD_FAILURE() << m_peer.errorString().toStdString();
            return false;
        }
        return true;
    }

    /// Sends a command the way the program frames it for a line-framed model and returns the answer line.
    QString ask(const QString& command)
    {
        m_peer.send(cp932(command) + '\r');
        const auto line = m_peer.readLine();
        return line ? fromCp932(*line) : QStringLiteral("<no answer>");
    }

    /// The same for a control-code model: STX command ETX, answered by one frame.
    QString askFramed(const QString& command)
    {
        m_peer.send(framed(cp932(command)));
        const auto frame = m_peer.readFrame();
        return frame ? fromCp932(*frame) : QStringLiteral("<no frame>");
    }

    TempAppDir m_app;
    std::unique_ptr<AdapterSimulator> m_sim;
    SerialPeer m_peer;
};

// The profile keys are read as the program reads them; framing and CTI scheme follow the rules for ctrlcode and
// getCtiCommand, so a consistent profile that is not shipped is played correctly too.
TEST_F(AdapterSimulatorTest, ProfileFramingAndSchemeFollowTheKeys)
{
    struct Row
    {
        const char* ctrlcode;
        const char* getCtiCommand;
        bool frames;
        bool singleQuery;
    };
    const Row rows[] = {
        {"TRUE", "1", true, true}, {"true", "2", true, false}, {"True", " 1", true, true},   {"tRUE", "1", false, true},
        {"1", "0", false, false},  {"", "", false, false},     {"False", "x", false, false}, {"yes", "01", false, true},
    };
    for (const Row& row : rows) {
        m_app.writeSettings(QByteArray("[ADAPTER]\nadapter1=X\n[X]\nctrlcode=") + row.ctrlcode +
                            "\ngetCtiCommand=" + row.getCtiCommand + "\nkind=INS\n");
        const AdapterSimProfile p = AdapterSimProfile::load(m_app.settingsPath(), QStringLiteral("X"));
        EXPECT_EQ(p.controlCodeFraming(), row.frames) << row.ctrlcode;
        EXPECT_EQ(p.singleQueryScheme(), row.singleQuery) << row.getCtiCommand;
        EXPECT_TRUE(p.isIns());
        EXPECT_FALSE(p.isEmpty());
    }
    EXPECT_TRUE(AdapterSimProfile::load(m_app.settingsPath(), QStringLiteral("missing")).isEmpty());
}

// The four shipped models are found in the ADAPTER section, and the selected one by SYSTEM adapter.
TEST_F(AdapterSimulatorTest, ModelsComeFromTheAdapterSection)
{
    EXPECT_EQ(AdapterSimProfile::models(m_app.settingsPath()), QStringList({kIns100, kIns200, kAn10, kT1}));
    EXPECT_EQ(AdapterSimProfile::modelAt(m_app.settingsPath(), 4), kT1);
    EXPECT_TRUE(AdapterSimProfile::modelAt(m_app.settingsPath(), 6).isEmpty());
    EXPECT_TRUE(AdapterSimProfile::selectedModel(m_app.settingsPath()).isEmpty()); // SYSTEM adapter is empty
}

// The identification command gets what the program's detection looks for: an ISDN adapter names its model in a
// line of at least 3 characters, an analog line adapter acknowledges with its ok text.
TEST_F(AdapterSimulatorTest, IdentificationAnswerDependsOnTheKind)
{
    struct Row
    {
        QString model;
        QString getinfo;
        QString expectedContains;
        bool exact;
    };
    const Row rows[] = {
        {kIns100, QStringLiteral("ATI3"), kIns100, false},
        {kIns200, QStringLiteral("AT#I"), kIns200, false},
        {kAn10, QStringLiteral("AT"), QStringLiteral("0"), true},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(start(row.model));
        const QString answer = ask(row.getinfo);
        if (row.exact)
            EXPECT_EQ(answer, row.expectedContains);
        else
            EXPECT_TRUE(answer.contains(row.expectedContains) && answer.size() >= 3) << answer.toStdString();
        EXPECT_EQ(m_peer.leftover(), QByteArray());
    }
}

// Every initialisation command of a line-framed model is acknowledged with ok; the first one is also the
// watchdog's poll in standby, which must get a one-character ok.
TEST_F(AdapterSimulatorTest, InitialisationCommandsAreAcknowledged)
{
    const std::pair<QString, QStringList> rows[] = {
        {kIns100, {QStringLiteral("ATZ"), QStringLiteral("AT&D0"), QStringLiteral("AT*CID=1")}},
        {kIns200, {QStringLiteral("ATZ"), QStringLiteral("AT#CID=1")}},
        {kAn10, {QStringLiteral("AT")}},
    };
    for (const auto& [model, commands] : rows) {
        ASSERT_TRUE(start(model));
        for (const QString& command : commands)
            EXPECT_EQ(ask(command), QStringLiteral("0")) << model.toStdString() << " " << command.toStdString();
        EXPECT_EQ(m_sim->commandsReceived(), commands);
    }
}

// Single-query scheme: the first command of a group selects which ports notify, later commands of the group
// (the save command) only get ok, and the one query reports the state with the rsp1 codes.
TEST_F(AdapterSimulatorTest, SingleQueryCtiStateFollowsSettingCommands)
{
    ASSERT_TRUE(start(kIns100));
    EXPECT_EQ(ask(QStringLiteral("AT*CTI?")), QStringLiteral("*CTI:0"));

    struct Row
    {
        const char* command;
        const char* readOut;
        std::array<bool, 3> ports;
    };
    const Row rows[] = {
        {"AT*CTI=3", "*CTI:3", {true, true, false}},
        {"AT*CTI=1", "*CTI:1", {true, false, false}},
        {"AT*CTI=2", "*CTI:2", {false, true, false}},
        {"AT*CTI=0", "*CTI:0", {false, false, false}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ask(QString::fromLatin1(row.command)), QStringLiteral("0")) << row.command;
        EXPECT_EQ(ask(QStringLiteral("AT&W")), QStringLiteral("0"));
        EXPECT_EQ(m_sim->ctiPorts(), row.ports) << row.command;
        EXPECT_EQ(ask(QStringLiteral("AT*CTI?")), QString::fromLatin1(row.readOut)) << row.command;
    }
}

// Per-port scheme: each port's first setting command followed by 1 or 0 switches that port alone, and the query
// of port n answers with its prefix and ON or OF; a value other than 1 or 0 is refused and changes nothing.
TEST_F(AdapterSimulatorTest, PerPortCtiStateFollowsSettingCommands)
{
    ASSERT_TRUE(start(kIns200));
    const auto readOut = [this] {
        return QStringList{ask(QStringLiteral("AT#P1?")), ask(QStringLiteral("AT#P2?")), ask(QStringLiteral("AT#P3?"))};
    };
    EXPECT_EQ(readOut(), QStringList({QStringLiteral("#P1:OF"), QStringLiteral("#P2:OF"), QStringLiteral("#P3:OF")}));

    EXPECT_EQ(ask(QStringLiteral("AT#P2=1")), QStringLiteral("0"));
    EXPECT_EQ(readOut(), QStringList({QStringLiteral("#P1:OF"), QStringLiteral("#P2:ON"), QStringLiteral("#P3:OF")}));

    EXPECT_EQ(ask(QStringLiteral("AT#P1=1")), QStringLiteral("0"));
    EXPECT_EQ(ask(QStringLiteral("AT#P3=1")), QStringLiteral("0"));
    EXPECT_EQ(ask(QStringLiteral("AT#P2=0")), QStringLiteral("0"));
    EXPECT_EQ(readOut(), QStringList({QStringLiteral("#P1:ON"), QStringLiteral("#P2:OF"), QStringLiteral("#P3:ON")}));

    EXPECT_EQ(ask(QStringLiteral("AT#P1=2")), QStringLiteral("4"));
    EXPECT_EQ(ask(QStringLiteral("AT#P1=")), QStringLiteral("4"));
    EXPECT_EQ(m_sim->ctiPorts(), (std::array<bool, 3>{true, false, true}));
}

// A command outside the vocabulary gets the err text where the profile has one and no answer at all where it
// has none (the next command's answer is the first thing on the line).
TEST_F(AdapterSimulatorTest, UnknownCommandsGetErrOrSilence)
{
    for (const QString& model : {kIns100, kIns200, kAn10}) {
        ASSERT_TRUE(start(model));
        EXPECT_EQ(ask(QStringLiteral("ATX9")), QStringLiteral("4")) << model.toStdString();
        // A getCtiInfo of another scheme or an empty key never matches an empty command either.
        EXPECT_EQ(ask(QStringLiteral("AT*CTI=9")), QStringLiteral("4")) << model.toStdString();
    }

    m_app.writeSettings(
        "[ADAPTER]\nadapter1=Quiet\n[Quiet]\nkind=ANALOG\nok=K\nring=CALL\nicommand1=AT\ngetinfo=ATI\n");
    ASSERT_TRUE(start(QStringLiteral("Quiet")));
    m_peer.send("ATX9\r");
    EXPECT_EQ(ask(QStringLiteral("AT")), QStringLiteral("K"));
    EXPECT_EQ(m_peer.leftover(), QByteArray());
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({QStringLiteral("ATX9"), QStringLiteral("AT")}));
}

// Call notifications are framed as the program cuts them: ring, number, then ";" for ISDN or ":" for other kinds
// followed by a further field; the bytes are CP932.
TEST_F(AdapterSimulatorTest, CallNotificationLines)
{
    struct Row
    {
        QString model;
        QString number;
        QByteArray expected;
    };
    const Row rows[] = {
        {kIns100, QStringLiteral("0312345678"), "RING0312345678;1\r\n"},
        {kIns200, QStringLiteral("09011112222"), "NMBR=09011112222;1\r\n"},
        {kAn10, QStringLiteral("0612345678"), "CALL0612345678:1\r\n"},
        // 非通知 in CP932
        {kAn10, QStringLiteral("非通知"), "CALL\x94\xf1\x92\xca\x92m:1\r\n"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(start(row.model));
        m_sim->raiseCall(row.number);
        EXPECT_EQ(m_peer.readThrough("\r\n").value_or("<none>"), row.expected) << row.model.toStdString();
    }
}

// The control-code model's call is one 29-character frame with the number right-aligned in the last 20
// characters, counted in characters (not bytes) when the number is Japanese; an over-long number is cut to fit.
TEST_F(AdapterSimulatorTest, CallNotificationFrames)
{
    ASSERT_TRUE(start(kT1));
    struct Row
    {
        QString number;
        QString field;
    };
    const Row rows[] = {
        {QStringLiteral("0312345678"), QString(10, QLatin1Char(' ')) + QStringLiteral("0312345678")},
        {QStringLiteral("非通知"), QString(17, QLatin1Char(' ')) + QStringLiteral("非通知")},
        {QStringLiteral("012345678901234567890123"), QStringLiteral("01234567890123456789")},
    };
    for (const Row& row : rows) {
        m_sim->raiseCall(row.number);
        const auto frame = m_peer.readFrame();
        ASSERT_TRUE(frame.has_value());
        const QString text = fromCp932(*frame);
        EXPECT_EQ(text.size(), AdapterSimulator::kFrameLength);
        EXPECT_EQ(text.mid(9), row.field);
        EXPECT_FALSE(text.left(9).trimmed().isEmpty()) << "the header is not blank";
    }
}

// ソラノT1 answers the identification with a 29-character frame and the poll with a frame whose number field is
// blank (the watchdog's answer); unknown commands get no frame.
TEST_F(AdapterSimulatorTest, ControlCodeModelAnswersWithFrames)
{
    ASSERT_TRUE(start(kT1));
    const QString info = askFramed(QStringLiteral("I"));
    EXPECT_EQ(info.size(), AdapterSimulator::kFrameLength) << info.toStdString();

    m_peer.send(framed("X"));
    const QString poll = askFramed(QStringLiteral("S"));
    EXPECT_EQ(poll.size(), AdapterSimulator::kFrameLength);
    EXPECT_EQ(poll.mid(9), QString(20, QLatin1Char(' ')));
    EXPECT_EQ(m_peer.leftover(), QByteArray());
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({QStringLiteral("I"), QStringLiteral("X"), QStringLiteral("S")}));
}

// The program acknowledges every receive event with STX ACK ETX; those frames are counted, never taken as
// commands and never answered, however they are split or bunched on the line.
TEST_F(AdapterSimulatorTest, AckFramesAreCountedNotAnswered)
{
    ASSERT_TRUE(start(kT1));
    QSignalSpy acks(m_sim.get(), &AdapterSimulator::ackReceived);
    QSignalSpy commands(m_sim.get(), &AdapterSimulator::commandReceived);
    m_peer.send(framed("\x06"));
    m_peer.send(framed("\x06") + framed("\x06"));
    m_peer.send("\x02\x06");
    m_peer.send("\x03");
    EXPECT_EQ(askFramed(QStringLiteral("S")).size(), AdapterSimulator::kFrameLength);
    EXPECT_EQ(m_sim->acksReceived(), 4);
    EXPECT_EQ(acks.count(), 4);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toString(), QStringLiteral("S"));
    EXPECT_EQ(m_peer.leftover(), QByteArray());
}

// Line assembly as an adapter does it: a command may arrive in pieces, LF and other control bytes are dropped,
// a bare CR is nothing, and two commands in one write are answered in order.
TEST_F(AdapterSimulatorTest, LineCommandsAreAssembledFromTheBytes)
{
    ASSERT_TRUE(start(kIns100));
    m_peer.send("AT");
    m_peer.send("Z\r\n");
    EXPECT_EQ(m_peer.readLine().value_or("<none>"), "0");
    m_peer.send("\r\rA\tT*CTI?\r");
    EXPECT_EQ(m_peer.readLine().value_or("<none>"), "*CTI:0");
    m_peer.send("ATI3\rATZ\r");
    EXPECT_EQ(m_peer.readLine().value_or("<none>"), "CTI-INS100 Ver1.00");
    EXPECT_EQ(m_peer.readLine().value_or("<none>"), "0");
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({QStringLiteral("ATZ"), QStringLiteral("AT*CTI?"),
                                                      QStringLiteral("ATI3"), QStringLiteral("ATZ")}));
}

// Frame assembly: bytes outside a frame, a frame cut short by a new STX and an empty frame are not commands; a
// frame split over writes is one command.
TEST_F(AdapterSimulatorTest, FramedCommandsAreAssembledFromTheBytes)
{
    ASSERT_TRUE(start(kT1));
    m_peer.send("xy\x02Q");
    m_peer.send("\x02\x03\x03z\x02");
    m_peer.send("S\x03");
    const auto frame = m_peer.readFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->size(), AdapterSimulator::kFrameLength);
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({QStringLiteral("S")}));
    EXPECT_EQ(m_sim->acksReceived(), 0);
}

// While silent the adapter still hears every command but answers none, which is what trips the program's
// watchdog; answering resumes afterwards.
TEST_F(AdapterSimulatorTest, SilentAdapterAnswersNothing)
{
    ASSERT_TRUE(start(kAn10));
    m_sim->setSilent(true);
    QSignalSpy commands(m_sim.get(), &AdapterSimulator::commandReceived);
    m_peer.send("AT\rAT\r");
    m_peer.send("ATX\r");
    while (commands.count() < 3 && commands.wait(int(SerialPeer::kTimeout.count()))) {
    }
    ASSERT_EQ(commands.count(), 3);
    m_sim->setSilent(false);
    EXPECT_EQ(ask(QStringLiteral("ATX")), QStringLiteral("4"));
    EXPECT_EQ(m_peer.leftover(), QByteArray());
    EXPECT_EQ(m_sim->commandsReceived().size(), 4);
}

// answerAs makes the identification wrong on purpose: an ISDN model names the other model (also when asked with
// the other model's own command), other kinds answer as their profile does, in its framing; an empty name
// restores the adapter's own answer.
TEST_F(AdapterSimulatorTest, AnswerAsAnotherModel)
{
    ASSERT_TRUE(start(kIns100));
    m_sim->answerAs(kIns200);
    EXPECT_TRUE(ask(QStringLiteral("ATI3")).contains(kIns200));
    EXPECT_TRUE(ask(QStringLiteral("AT#I")).contains(kIns200));
    EXPECT_EQ(m_sim->answeringAs(), kIns200);

    m_sim->answerAs(kAn10);
    EXPECT_EQ(ask(QStringLiteral("ATI3")), QStringLiteral("0"));

    m_sim->answerAs(QStringLiteral("CTI-INS999"));
    EXPECT_TRUE(ask(QStringLiteral("ATI3")).contains(QStringLiteral("CTI-INS999")));

    m_sim->answerAs(kT1);
    m_peer.send("ATI3\r");
    const auto frame = m_peer.readFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(fromCp932(*frame).size(), AdapterSimulator::kFrameLength);

    m_sim->answerAs(QString());
    const QString own = ask(QStringLiteral("ATI3"));
    EXPECT_TRUE(own.contains(kIns100) && !own.contains(kIns200)) << own.toStdString();
}

// The console's commands put exactly the expected bytes on the line, framed as the model frames, and refuse
// malformed arguments without sending anything.
TEST_F(AdapterSimulatorTest, ConsoleCommands)
{
    struct Row
    {
        QString model;
        QString line;
        bool ok;
        QByteArray wire;
    };
    const Row rows[] = {
        {kIns100, QStringLiteral("raw HELLO"), true, "HELLO\r\n"},
        {kIns100, QStringLiteral("raw 着信"), true, cp932(QStringLiteral("着信")) + "\r\n"},
        {kT1, QStringLiteral("raw HELLO"), true, "\x02HELLO\x03"},
        {kIns100, QStringLiteral("bytes 02 31 32 03"), true, "\x02\x31\x32\x03"},
        {kIns100, QStringLiteral("bytes 0d0A"), true, "\r\n"},
        {kIns100, QStringLiteral("call 0311112222"), true, "RING0311112222;1\r\n"},
        {kIns100, QStringLiteral("bytes 0G"), false, {}},
        {kIns100, QStringLiteral("bytes 123"), false, {}},
        {kIns100, QStringLiteral("bytes"), false, {}},
        {kIns100, QStringLiteral("garbage 0"), false, {}},
        {kIns100, QStringLiteral("garbage 5000"), false, {}},
        {kIns100, QStringLiteral("garbage x"), false, {}},
        {kIns100, QStringLiteral("call"), false, {}},
        {kIns100, QStringLiteral("silent maybe"), false, {}},
        {kIns100, QStringLiteral("dial 123"), false, {}},
        {kIns100, QString(), true, {}},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(start(row.model));
        SimulatorConsole console(*m_sim);
        const SimulatorConsole::Result result = console.execute(row.line);
        EXPECT_EQ(result.ok, row.ok) << row.line.toStdString();
        EXPECT_FALSE(result.quit);
        if (!row.ok) {
            EXPECT_FALSE(result.text.isEmpty()) << row.line.toStdString();
        }
        // A trailing marker line shows that nothing else was sent before it.
        m_sim->sendBytes("#END#");
        EXPECT_EQ(m_peer.readThrough("#END#").value_or("<none>"), row.wire + "#END#") << row.line.toStdString();
    }
}

// garbage sends exactly the count of bytes asked for; silent, as, status and quit act on the simulator.
TEST_F(AdapterSimulatorTest, ConsoleControlsTheSimulator)
{
    ASSERT_TRUE(start(kIns100));
    SimulatorConsole console(*m_sim);
    EXPECT_TRUE(console.execute(QStringLiteral("garbage 300")).ok);
    EXPECT_EQ(m_peer.readBytes(300).size(), 300);

    EXPECT_TRUE(console.execute(QStringLiteral("silent on\r\n")).ok);
    EXPECT_TRUE(m_sim->isSilent());
    EXPECT_TRUE(console.execute(QStringLiteral("silent off")).ok);
    EXPECT_FALSE(m_sim->isSilent());

    EXPECT_TRUE(console.execute(QStringLiteral("as CTI-INS200")).ok);
    EXPECT_EQ(m_sim->answeringAs(), kIns200);

    EXPECT_EQ(ask(QStringLiteral("AT*CTI=1")), QStringLiteral("0"));
    const SimulatorConsole::Result status = console.execute(QStringLiteral("status"));
    EXPECT_TRUE(status.text.contains(kIns100));
    EXPECT_TRUE(status.text.contains(m_sim->slavePath()));
    EXPECT_TRUE(status.text.contains(QStringLiteral("port1 on, port2 off")));

    EXPECT_TRUE(console.execute(QStringLiteral("quit")).quit);
    EXPECT_EQ(m_peer.leftover(), QByteArray());
}

} // namespace
