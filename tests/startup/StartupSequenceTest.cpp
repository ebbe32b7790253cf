// The start-up from the loaded main window on, against the adapter simulated on a
// pseudo-terminal: which steps the user meets, what goes to the adapter and when, and what
// the start-up question leads to.

#include "StartupRig.h"

#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/StateCodePrinter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Outcome = StartupSequence::Outcome;
using Answer = MessageBoxes::Answer;

namespace {

// Everything in place for the CTI-INS100 on COM3, both set-ups registered.
std::initializer_list<StartupRig::Key> completeIns100()
{
    static const std::initializer_list<StartupRig::Key> keys = {
        {"SYSTEM", "adapter", "1"},
        {"SYSTEM", "CommPort", "3"},
        {"SYSTEM", "COMMinit", "True"},
        {"SYSTEM", "URLinit", "True"},
        {"URL", "path1", "http://crm.example.jp/?tel="},
    };
    return keys;
}

} // namespace

// What is sent to the adapter, and the pauses between, for each line kind: the ISDN
// adapter's three initialisation commands each with its own pause, then one more pause,
// then the identification; the analog adapter's identification after the pause alone.
TEST(StartupAdapterCheck, CommandsAndPausesByLineKind)
{
    struct Case
    {
        const char* model;
        const char* adapter;
        QStringList expected;
    };
    const Case cases[] = {
        {"CTI-INS100",
         "1",
         {"ATZ", "pause 1000", "AT&D0", "pause 1000", "AT*CID=1", "pause 1000", "pause 1000", "ATI3", "pause 1000"}},
        {"CTI-AN10", "3", {"pause 1000", "AT", "pause 1000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        StartupRig rig({{"SYSTEM", "adapter", c.adapter},
                        {"SYSTEM", "CommPort", "3"},
                        {"URL", "path1", "http://crm.example.jp/?tel="}},
                       QString::fromUtf8(c.model));
        QStringList untilTheQuestion;
        rig.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
            untilTheQuestion = rig.sendsAndLongPauses();
        };

        EXPECT_EQ(rig.startup->run(), Outcome::Running);

        EXPECT_EQ(untilTheQuestion, c.expected);
        EXPECT_TRUE(rig.stepsShown.empty());
        EXPECT_EQ(rig.state().detectedModel, QString::fromUtf8(c.model));
        ASSERT_EQ(rig.boxes.shown.size(), 1u);
        EXPECT_EQ(rig.boxes.shown[0].text, u"待ち受けを開始しますか？");
    }
}

// Whatever keeps the adapter check from passing leads to the adapter step, with the
// adapter, its port and its line kind forgotten in memory and settings.ini untouched.
TEST(StartupAdapterCheck, FailuresLeadToTheAdapterStep)
{
    enum class Adapter
    {
        Answers,
        AnswersAsAnotherModel,
        Silent,
        AnswersGarbage,
        Unplugged,
        SlowerThanTheGuard
    };
    struct Case
    {
        const char* name;
        Adapter adapter;
        const char* commPort;
        bool sendsIdentification;
        const char* adapterSlot = "1";
    };
    const Case cases[] = {
        {"another model", Adapter::AnswersAsAnotherModel, "3", true},
        {"no answer", Adapter::Silent, "3", true},
        {"garbage", Adapter::AnswersGarbage, "3", true},
        {"port gone during the check", Adapter::Unplugged, "3", true},
        // The main window's ten-second guard going off before the identification: the
        // adapter's reply no longer counts.
        {"guard expired", Adapter::SlowerThanTheGuard, "3", true},
        {"port not a number", Adapter::Silent, "COM3", false},
        {"port 0", Adapter::Silent, "0", false},
        {"negative port", Adapter::Silent, "-3", false},
        {"port without a device", Adapter::Silent, "300", false},
        {"adapter naming an empty slot", Adapter::Answers, "3", false, "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartupRig rig({{"SYSTEM", "adapter", QString::fromUtf8(c.adapterSlot)},
                        {"SYSTEM", "CommPort", QString::fromUtf8(c.commPort)},
                        {"URL", "path1", "http://crm.example.jp/?tel="}});
        // The adapter step's dialog is left with OK; the user then declines standby.
        rig.dialogAnswers = {AppStateCode::AskStandby};
        rig.boxes.answers = {Answer::No};
        switch (c.adapter) {
        case Adapter::Answers:
            break;
        case Adapter::AnswersAsAnotherModel:
            rig.sim->answerAs(QStringLiteral("CTI-INS200"));
            break;
        case Adapter::Silent:
            rig.sim->setSilent(true);
            break;
        case Adapter::AnswersGarbage:
        case Adapter::Unplugged:
            rig.sim->setSilent(true);
            QObject::connect(rig.sim.get(), &AdapterSimulator::commandReceived, [&rig, &c](const QString& command) {
                if (command != u"ATI3")
                    return;
                if (c.adapter == Adapter::AnswersGarbage)
                    rig.sim->sendBytes(QByteArray("\x85\xff#?garbage\x01\r", 13));
                else
                    QTimer::singleShot(0, [&rig] { rig.sim.reset(); });
            });
            break;
        case Adapter::SlowerThanTheGuard:
            QObject::connect(rig.sim.get(), &AdapterSimulator::commandReceived, [&rig](const QString& command) {
                if (command == u"AT*CID=1")
                    rig.window->waitTimer_Timer();
            });
            break;
        }

        EXPECT_EQ(rig.startup->run(), Outcome::Running);

        EXPECT_EQ(rig.stepsShown, std::vector<AppStateCode>{AppStateCode::AdapterStep});
        EXPECT_TRUE(rig.state().systemSettings.CommPort.isEmpty());
        EXPECT_TRUE(rig.state().systemSettings.adapter.isEmpty());
        EXPECT_TRUE(rig.state().adapterProfile.kind.isEmpty());
        EXPECT_EQ(rig.dir.settingsBytes(), rig.settingsBefore);
        EXPECT_EQ(rig.sendsAndLongPauses().contains(QStringLiteral("ATI3")), c.sendsIdentification);
        EXPECT_FALSE(rig.program->comm.isReplyWaitRunning());
    }
}

// The first start with nothing configured meets the adapter dialog first, without the
// popup and without a word to any adapter; with only the URL missing the check runs under
// the popup and the URL dialog is next.
TEST(StartupSteps, FirstStepByWhatIsMissing)
{
    struct Case
    {
        const char* name;
        std::initializer_list<StartupRig::Key> keys;
        StateNumber firstStep;
        bool checked;
    };
    const Case cases[] = {
        {"nothing configured", {}, AppStateCode::AdapterStep, false},
        {"port missing",
         {{"SYSTEM", "adapter", "1"}, {"URL", "path1", "http://x/?t="}},
         AppStateCode::AdapterStep,
         false},
        {"only the URL missing",
         {{"SYSTEM", "adapter", "1"}, {"SYSTEM", "CommPort", "3"}},
         AppStateCode::UrlStep,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartupRig rig(c.keys);
        rig.dialogAnswers = {AppStateCode::AskStandby};
        rig.boxes.answers = {Answer::No};

        EXPECT_EQ(rig.startup->run(), Outcome::Running);

        EXPECT_EQ(rig.stepsShown, std::vector<AppStateCode>{c.firstStep});
        EXPECT_EQ(rig.popupVisibleAtFirstStep, std::vector<bool>{false});
        EXPECT_EQ(rig.sendsAndLongPauses().contains(QStringLiteral("ATI3")), c.checked);
        EXPECT_EQ(rig.trace.lines.filter(QStringLiteral("SND")).isEmpty(), !c.checked);
        EXPECT_TRUE(rig.window->isVisible());
    }
}

// The dialogs lead from step to step; one closed without OK or Cancel is shown again.
TEST(StartupSteps, WalkThroughAndRepeatedDialog)
{
    StartupRig rig({});
    rig.dialogAnswers = {AppStateCode::AdapterStep, AppStateCode::CtiStep, AppStateCode::UrlStep, AppStateCode::UrlStep,
                         AppStateCode::AskStandby};
    rig.boxes.answers = {Answer::No};

    EXPECT_EQ(rig.startup->run(), Outcome::Running);

    const std::vector<AppStateCode> expected = {AppStateCode::AdapterStep, AppStateCode::AdapterStep,
                                                AppStateCode::CtiStep, AppStateCode::UrlStep, AppStateCode::UrlStep};
    EXPECT_EQ(rig.stepsShown, expected);
    EXPECT_EQ(rig.state().appState, AppStateCode::StandbyOff);
    EXPECT_TRUE(rig.window->isVisible());
}

// A confirmed Cancel in a start-up dialog, or an answer the question does not know, ends
// the program: every window unloaded, the port closed, no further word.
TEST(StartupSteps, QuitUnloadsEveryWindow)
{
    struct Case
    {
        const char* name;
        std::initializer_list<StartupRig::Key> keys;
        std::deque<AppStateCode> dialogAnswers;
        std::deque<Answer> boxAnswers;
        std::size_t boxes;
    };
    const Case cases[] = {
        {"Cancel in the adapter dialog", {}, {AppStateCode::Quit}, {}, 0},
        {"Cancel in the URL dialog", {}, {AppStateCode::UrlStep, AppStateCode::Quit}, {}, 0},
        {"the question closed", completeIns100(), {}, {Answer::Closed}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartupRig rig(c.keys);
        rig.dialogAnswers = c.dialogAnswers;
        rig.boxes.answers = c.boxAnswers;
        QSignalSpy unloaded(rig.window, &frmTerminal::unloaded);

        EXPECT_EQ(rig.startup->run(), Outcome::Quit);

        EXPECT_EQ(unloaded.count(), 1);
        EXPECT_FALSE(rig.window->isVisible());
        EXPECT_FALSE(rig.window->popup().isVisible());
        EXPECT_FALSE(rig.program->comm.IsPortOpen());
        EXPECT_EQ(rig.boxes.shown.size(), c.boxes);
    }
}

// The question or notice by `COMMinit` and `URLinit`, and where each answer leads.
TEST(StartupQuestion, TextsAndOutcomes)
{
    const QString question = QStringLiteral("待ち受けを開始しますか？");
    const QString adapterNotice = QStringLiteral("アダプタ設定が未完了なので、待ち受けは開始できません。");
    const QString urlNotice = QStringLiteral("URL設定が未完了です。");
    struct Case
    {
        const char* commInit;
        const char* urlInit;
        Answer answer;
        QString text;
        StateNumber appState;
    };
    const Case cases[] = {
        {"True", "True", Answer::Yes, question, AppStateCode::StandbyOn},
        {"true", "1", Answer::No, question, AppStateCode::StandbyOff},
        {"False", "True", Answer::Ok, adapterNotice, AppStateCode::StandbyOff},
        {"False", "False", Answer::Ok, adapterNotice, AppStateCode::StandbyOff},
        {"True", "0", Answer::Ok, urlNotice, AppStateCode::StandbyOff},
        // A flag that cannot be read as a boolean leads to the question.
        {"", "", Answer::No, question, AppStateCode::StandbyOff},
        {"yes", "False", Answer::No, question, AppStateCode::StandbyOff},
        {"False", "", Answer::Yes, question, AppStateCode::StandbyOn},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.commInit) + "/" + c.urlInit);
        StartupRig rig({{"SYSTEM", "adapter", "1"},
                        {"SYSTEM", "CommPort", "3"},
                        {"SYSTEM", "COMMinit", QString::fromUtf8(c.commInit)},
                        {"SYSTEM", "URLinit", QString::fromUtf8(c.urlInit)},
                        {"URL", "path1", "http://crm.example.jp/?tel="}});
        rig.boxes.answers = {c.answer};

        EXPECT_EQ(rig.startup->run(), Outcome::Running);

        ASSERT_EQ(rig.boxes.shown.size(), 1u);
        const ScriptedMessageBoxes::Shown& box = rig.boxes.shown[0];
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.title, u"着信");
        EXPECT_EQ(box.buttons, c.text == question ? MessageBoxes::Buttons::YesNo : MessageBoxes::Buttons::Ok);
        EXPECT_EQ(rig.state().appState, c.appState);
        EXPECT_TRUE(rig.window->isVisible());
        const bool on = c.appState == AppStateCode::StandbyOn;
        EXPECT_EQ(rig.window->Timer1.isActive(), on);
        // Declined: the port the check opened is closed again. Accepted: the start timer
        // closes and reopens it for standby.
        if (!on) {
            EXPECT_FALSE(rig.program->comm.IsPortOpen());
        }
    }
}

// Yes: standby comes on a second later through the main window's start timer, and a call
// then reaches the browser.
TEST(StartupQuestion, YesStartsStandbyASecondLater)
{
    StartupRig rig(completeIns100());
    rig.boxes.answers = {Answer::Yes};
    ASSERT_EQ(rig.startup->run(), Outcome::Running);
    EXPECT_EQ(rig.window->cbMachiuke->text(), u"待ち受け開始");

    ASSERT_TRUE(processEventsUntil([&] { return rig.window->cbMachiuke->text() == u"待ち受け停止"; }, 5s));
    EXPECT_FALSE(rig.window->Timer1.isActive());
    EXPECT_EQ(rig.state().rcvMode, RcvMode::Idle);
    rig.sim->raiseCall(QStringLiteral("0312345678"));
    EXPECT_TRUE(processEventsUntil([&] { return rig.window->txtRecvData->text() == u"0312345678"; }, 5s));
}

// A settings file that cannot be used leaves the user nothing to choose: one message with
// the file's full path and what is wrong, then the program ends.
TEST(StartupSettingsFile, UnusableFileEndsTheProgram)
{
    struct Case
    {
        const char* name;
        const char* expectedText;
        std::function<void(TempAppDir&)> spoil;
    };
    const Case cases[] = {
        {"missing", "設定ファイルが見つかりません。",
         [](TempAppDir& dir) {
             QFile::remove(dir.settingsPath());
         }},
        {"a directory", "設定ファイルが見つかりません。",
         [](TempAppDir& dir) {
             QFile::remove(dir.settingsPath());
             QDir().mkdir(dir.settingsPath());
         }},
        {"no model listed", "設定ファイルの [ADAPTER] にアダプタの機種が一つもありません。",
         [](TempAppDir& dir) {
             dir.writeSettings("[SYSTEM]\r\nappName=着信\r\n[ADAPTER]\r\nadapter1=\r\n");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartupRig rig({});
        c.spoil(rig.dir);
        QSignalSpy unloaded(rig.window, &frmTerminal::unloaded);

        EXPECT_EQ(rig.startup->run(), Outcome::SettingsUnusable);

        ASSERT_EQ(rig.boxes.shown.size(), 1u);
        const QString text = rig.boxes.shown[0].text;
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.expectedText))) << text.toStdString();
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(rig.dir.settingsPath()))) << text.toStdString();
        EXPECT_EQ(rig.boxes.shown[0].icon, MessageBoxes::Icon::Critical);
        EXPECT_TRUE(rig.stepsShown.empty());
        EXPECT_EQ(unloaded.count(), 1);
    }
}

// A step whose dialog is missing cannot be completed at start-up: the main window comes up
// with standby off instead of the step being offered again and again.
TEST(StartupSteps, StepWithoutDialog)
{
    StartupRig rig({});
    StartupSequence bare(rig.state(), rig.boxes, rig.pauser, rig.program->comm, *rig.window, StepDialogs{});

    EXPECT_EQ(bare.run(), Outcome::Running);

    EXPECT_EQ(rig.state().appState, AppStateCode::StandbyOff);
    EXPECT_TRUE(rig.window->isVisible());
    EXPECT_TRUE(rig.boxes.shown.empty());
}
