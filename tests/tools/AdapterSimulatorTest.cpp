#include "AdapterSimulator.h"
#include "SimulatorConsole.h"
#include "support/QStringPrinter.h"
#include "support/TempAppDir.h"
#include "tools/SerialPeer.h"

#include <QSignalSpy>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

namespace {

const QString kIns100 = QStringLiteral("CTI-INS100");
const QString kIns200 = QStringLiteral("CTI-INS200");
const QString kAn10 = QStringLiteral("CTI-AN10");
const QString kT1 = QStringLiteral("ソラノT1");

class AdapterSimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override { m_app.copyShippedSettings(); }
    static QByteArray cp932(const QString& text) { return QStringEncoder("CP932").encode(text); }
    static QString fromCp932(const QByteArray& bytes) { return QStringDecoder("CP932").decode(bytes); }
    static QByteArray framed(const QByteArray& text) { return '\x02' + text + '\x03'; }

    /// Plays `model` of the settings file and opens the line to it.
    bool start(const QString& model)
    {
        m_sim.reset();
        m_sim = std::make_unique<AdapterSimulator>(AdapterSimProfile::load(m_app.settingsPath(), model));
        if (!m_sim->isValid() || !m_peer.open(m_sim->slavePath())) {
            ADD_FAILURE() << (m_sim->isValid() ? m_peer.errorString() : m_sim->errorString()).toStdString();
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

// Framing and CTI scheme follow ctrlcode and getCtiCommand as the program reads them, shipped profile or not.
TEST_F(AdapterSimulatorTest, ProfileFramingAndSchemeFollowTheKeys)
{
    // clang-format off
    struct Row { const char* ctrlcode; const char* getCtiCommand; bool frames; bool singleQuery; };
    const Row rows[] = {
        {"TRUE", "1", true, true},
        {"true", "2", true, false},
        {"True", " 1", true, true},
        {"tRUE", "1", false, true},
        {"1", "0", false, false},
        {"", "", false, false},
        {"False", "x", false, false},
        {"yes", "01", false, true},
    };
    // clang-format on
    for (const Row& row : rows) {
        m_app.writeSettings(QByteArray("[ADAPTER]\nadapter1=X\n[X]\nctrlcode=") + row.ctrlcode +
                            "\ngetCtiCommand=" + row.getCtiCommand + "\nkind=INS\n");
        const AdapterSimProfile p = AdapterSimProfile::load(m_app.settingsPath(), QStringLiteral("X"));
        EXPECT_EQ(std::tuple(p.controlCodeFraming(), p.singleQueryScheme(), p.isIns(), p.isEmpty()),
                  std::tuple(row.frames, row.singleQuery, true, false))
            << row.ctrlcode << " / " << row.getCtiCommand;
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

// Identification as detection expects: ISDN names its model (3+ characters), analog acknowledges with ok.
TEST_F(AdapterSimulatorTest, IdentificationAnswerDependsOnTheKind)
{
    // clang-format off
    struct Row { QString model; QString getinfo; QString expectedContains; bool exact; };
    const Row rows[] = {
        {kIns100, "ATI3", kIns100, false},
        {kIns200, "AT#I", kIns200, false},
        {kAn10, "AT", "0", true},
    };
    // clang-format on
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

// Every initialisation command gets ok; the first is also the watchdog's poll, which needs a one-character ok.
TEST_F(AdapterSimulatorTest, InitialisationCommandsAreAcknowledged)
{
    const std::pair<QString, QStringList> rows[] = {
        {kIns100, {"ATZ", "AT&D0", "AT*CID=1"}},
        {kIns200, {"ATZ", "AT#CID=1"}},
        {kAn10, {"AT"}},
    };
    for (const auto& [model, commands] : rows) {
        ASSERT_TRUE(start(model));
        for (const QString& command : commands)
            EXPECT_EQ(ask(command), "0") << model.toStdString() << " " << command.toStdString();
        EXPECT_EQ(m_sim->commandsReceived(), commands);
    }
}

// Single query: a group's first command sets the notifying ports, the rest (save) get ok, the query answers rsp1.
TEST_F(AdapterSimulatorTest, SingleQueryCtiStateFollowsSettingCommands)
{
    ASSERT_TRUE(start(kIns100));
    EXPECT_EQ(ask("AT*CTI?"), "*CTI:0");

    // clang-format off
    struct Row { const char* command; const char* readOut; std::array<bool, 3> ports; };
    const Row rows[] = {
        {"AT*CTI=3", "*CTI:3", {true, true, false}},
        {"AT*CTI=1", "*CTI:1", {true, false, false}},
        {"AT*CTI=2", "*CTI:2", {false, true, false}},
        {"AT*CTI=0", "*CTI:0", {false, false, false}},
    };
    // clang-format on
    for (const Row& row : rows) {
        EXPECT_EQ(QStringList({ask(row.command), ask("AT&W")}), QStringList({"0", "0"})) << row.command;
        EXPECT_EQ((std::tuple{m_sim->ctiPorts(), ask("AT*CTI?")}), std::tuple(row.ports, QString(row.readOut)))
            << row.command;
    }
}

// Per port: "=1"/"=0" switches one port, its query answers ON or OF; other values are refused, nothing changes.
TEST_F(AdapterSimulatorTest, PerPortCtiStateFollowsSettingCommands)
{
    ASSERT_TRUE(start(kIns200));
    const auto readOut = [this] {
        return QStringList{ask("AT#P1?"), ask("AT#P2?"), ask("AT#P3?")};
    };
    EXPECT_EQ(readOut(), QStringList({"#P1:OF", "#P2:OF", "#P3:OF"}));

    EXPECT_EQ(ask("AT#P2=1"), "0");
    EXPECT_EQ(readOut(), QStringList({"#P1:OF", "#P2:ON", "#P3:OF"}));

    for (const char* command : {"AT#P1=1", "AT#P3=1", "AT#P2=0"})
        EXPECT_EQ(ask(command), "0") << command;
    EXPECT_EQ(readOut(), QStringList({"#P1:ON", "#P2:OF", "#P3:ON"}));

    for (const char* command : {"AT#P1=2", "AT#P1="})
        EXPECT_EQ(ask(command), "4") << command;
    EXPECT_EQ(m_sim->ctiPorts(), (std::array<bool, 3>{true, false, true}));
}

// An unknown command gets the err text, or, where the profile has none, no answer at all.
TEST_F(AdapterSimulatorTest, UnknownCommandsGetErrOrSilence)
{
    for (const QString& model : {kIns100, kIns200, kAn10}) {
        ASSERT_TRUE(start(model));
        EXPECT_EQ(ask("ATX9"), "4") << model.toStdString();
        // A getCtiInfo of another scheme or an empty key never matches an empty command either.
        EXPECT_EQ(ask("AT*CTI=9"), "4") << model.toStdString();
    }

    m_app.writeSettings(
        "[ADAPTER]\nadapter1=Quiet\n[Quiet]\nkind=ANALOG\nok=K\nring=CALL\nicommand1=AT\ngetinfo=ATI\n");
    ASSERT_TRUE(start("Quiet"));
    m_peer.send("ATX9\r");
    EXPECT_EQ(ask("AT"), "K");
    EXPECT_EQ(m_peer.leftover(), QByteArray());
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({"ATX9", "AT"}));
}

// Call lines as the program cuts them: ring, number, ";" (ISDN) or ":" (other kinds), a further field; CP932.
TEST_F(AdapterSimulatorTest, CallNotificationLines)
{
    // clang-format off
    struct Row { QString model; QString number; QByteArray expected; };
    const Row rows[] = {
        {kIns100, "0312345678", "RING0312345678;1\r\n"},
        {kIns200, "09011112222", "NMBR=09011112222;1\r\n"},
        {kAn10, "0612345678", "CALL0612345678:1\r\n"},
        {kAn10, QStringLiteral("非通知"), "CALL\x94\xf1\x92\xca\x92m:1\r\n"}, // 非通知 in CP932
    };
    // clang-format on
    for (const Row& row : rows) {
        ASSERT_TRUE(start(row.model));
        m_sim->raiseCall(row.number);
        EXPECT_EQ(m_peer.readThrough("\r\n").value_or("<none>"), row.expected) << row.model.toStdString();
    }
}

// A control-code call: one 29-character frame, the number right-aligned in 20 characters (not bytes), cut to fit.
TEST_F(AdapterSimulatorTest, CallNotificationFrames)
{
    ASSERT_TRUE(start(kT1));
    // clang-format off
    struct Row { QString number; QString field; };
    const Row rows[] = {
        {"0312345678", QString(10, u' ') + "0312345678"},
        {QStringLiteral("非通知"), QString(17, u' ') + QStringLiteral("非通知")},
        {"012345678901234567890123", "01234567890123456789"},
    };
    // clang-format on
    for (const Row& row : rows) {
        m_sim->raiseCall(row.number);
        const auto frame = m_peer.readFrame();
        ASSERT_TRUE(frame.has_value());
        const QString text = fromCp932(*frame);
        // The header is not blank.
        EXPECT_EQ(std::tuple(text.size(), text.mid(9), text.left(9).trimmed().isEmpty()),
                  std::tuple(AdapterSimulator::kFrameLength, row.field, false));
    }
}

// ソラノT1 answers identification and poll (number blank) with 29-character frames; unknown commands get none.
TEST_F(AdapterSimulatorTest, ControlCodeModelAnswersWithFrames)
{
    ASSERT_TRUE(start(kT1));
    const QString info = askFramed("I");
    EXPECT_EQ(info.size(), AdapterSimulator::kFrameLength) << info.toStdString();

    m_peer.send(framed("X"));
    const QString poll = askFramed("S");
    EXPECT_EQ(std::tuple(poll.size(), poll.mid(9), m_peer.leftover()),
              std::tuple(AdapterSimulator::kFrameLength, QString(20, u' '), QByteArray()));
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({"I", "X", "S"}));
}

// STX ACK ETX frames are counted, never taken as commands or answered, however split or bunched on the line.
TEST_F(AdapterSimulatorTest, AckFramesAreCountedNotAnswered)
{
    ASSERT_TRUE(start(kT1));
    QSignalSpy acks(m_sim.get(), &AdapterSimulator::ackReceived);
    QSignalSpy commands(m_sim.get(), &AdapterSimulator::commandReceived);
    m_peer.send(framed("\x06"));
    m_peer.send(framed("\x06") + framed("\x06"));
    m_peer.send("\x02\x06");
    m_peer.send("\x03");
    EXPECT_EQ(askFramed("S").size(), AdapterSimulator::kFrameLength);
    EXPECT_EQ(std::tuple(m_sim->acksReceived(), acks.count()), std::tuple(4, 4));
    ASSERT_EQ(commands.count(), 1);
    EXPECT_EQ(commands.at(0).at(0).toString(), "S");
    EXPECT_EQ(m_peer.leftover(), QByteArray());
}

// Line assembly: pieces join, LF and control bytes drop, a bare CR is nothing, two commands answer in order.
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
    EXPECT_EQ(m_sim->commandsReceived(), QStringList({"ATZ", "AT*CTI?", "ATI3", "ATZ"}));
}

// Frame assembly: stray bytes, a frame cut by a new STX and an empty frame are no command; a split frame is one.
TEST_F(AdapterSimulatorTest, FramedCommandsAreAssembledFromTheBytes)
{
    ASSERT_TRUE(start(kT1));
    m_peer.send("xy\x02Q");
    m_peer.send("\x02\x03\x03z\x02");
    m_peer.send("S\x03");
    const auto frame = m_peer.readFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(std::tuple(frame->size(), m_sim->commandsReceived(), m_sim->acksReceived()),
              std::tuple(AdapterSimulator::kFrameLength, QStringList({"S"}), 0));
}

// While silent every command is heard and none answered (what trips the watchdog); answering resumes after.
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
    EXPECT_EQ(ask("ATX"), "4");
    EXPECT_EQ(std::tuple(m_peer.leftover(), m_sim->commandsReceived().size()), std::tuple(QByteArray(), 4));
}

// answerAs names another model (ISDN, also to its own command) or answers as its profile, framed; empty restores.
TEST_F(AdapterSimulatorTest, AnswerAsAnotherModel)
{
    ASSERT_TRUE(start(kIns100));
    m_sim->answerAs(kIns200);
    EXPECT_TRUE(ask("ATI3").contains(kIns200));
    EXPECT_TRUE(ask("AT#I").contains(kIns200));
    EXPECT_EQ(m_sim->answeringAs(), kIns200);

    m_sim->answerAs(kAn10);
    EXPECT_EQ(ask("ATI3"), "0");

    m_sim->answerAs("CTI-INS999");
    EXPECT_TRUE(ask("ATI3").contains("CTI-INS999"));

    m_sim->answerAs(kT1);
    m_peer.send("ATI3\r");
    const auto frame = m_peer.readFrame();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(fromCp932(*frame).size(), AdapterSimulator::kFrameLength);

    m_sim->answerAs({});
    const QString own = ask("ATI3");
    EXPECT_TRUE(own.contains(kIns100) && !own.contains(kIns200)) << own.toStdString();
}

// Console commands put exactly these bytes on the line, framed as the model frames; malformed ones send nothing.
TEST_F(AdapterSimulatorTest, ConsoleCommands)
{
    // clang-format off
    struct Row { QString model; QString line; bool ok; QByteArray wire; };
    const Row rows[] = {
        {kIns100, "raw HELLO", true, "HELLO\r\n"},
        {kIns100, QStringLiteral("raw 着信"), true, cp932(QStringLiteral("着信")) + "\r\n"},
        {kT1, "raw HELLO", true, "\x02HELLO\x03"},
        {kIns100, "bytes 02 31 32 03", true, "\x02\x31\x32\x03"},
        {kIns100, "bytes 0d0A", true, "\r\n"},
        {kIns100, "call 0311112222", true, "RING0311112222;1\r\n"},
        {kIns100, "bytes 0G", false, {}},
        {kIns100, "bytes 123", false, {}},
        {kIns100, "bytes", false, {}},
        {kIns100, "garbage 0", false, {}},
        {kIns100, "garbage 5000", false, {}},
        {kIns100, "garbage x", false, {}},
        {kIns100, "call", false, {}},
        {kIns100, "silent maybe", false, {}},
        {kIns100, "dial 123", false, {}},
        {kIns100, QString(), true, {}},
    };
    // clang-format on
    for (const Row& row : rows) {
        ASSERT_TRUE(start(row.model));
        SimulatorConsole console(*m_sim);
        const SimulatorConsole::Result result = console.execute(row.line);
        // A refused line says why.
        EXPECT_EQ(std::tuple(result.ok, result.quit, row.ok || !result.text.isEmpty()), std::tuple(row.ok, false, true))
            << row.line.toStdString();
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
    EXPECT_TRUE(console.execute("garbage 300").ok);
    EXPECT_EQ(m_peer.readBytes(300).size(), 300);

    EXPECT_TRUE(console.execute("silent on\r\n").ok);
    EXPECT_TRUE(m_sim->isSilent());
    EXPECT_TRUE(console.execute("silent off").ok);
    EXPECT_FALSE(m_sim->isSilent());

    EXPECT_TRUE(console.execute("as CTI-INS200").ok);
    EXPECT_EQ(m_sim->answeringAs(), kIns200);

    EXPECT_EQ(ask("AT*CTI=1"), "0");
    const SimulatorConsole::Result status = console.execute("status");
    for (const QString& part : {kIns100, m_sim->slavePath(), QStringLiteral("port1 on, port2 off")})
        EXPECT_TRUE(status.text.contains(part)) << part.toStdString();

    EXPECT_TRUE(console.execute("quit").quit);
    EXPECT_EQ(m_peer.leftover(), QByteArray());
}

} // namespace
