// The start-up from the loaded main window on, against the simulated adapter: steps, sends, pauses, the question.

#include "startup/StartupSequence.h"
#include "ui/frmMessage.h"

#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/TestDesk.h"
#include "support/TraceCapture.h"

#include <QDir>
#include <QSignalSpy>

#include <deque>
#include <tuple>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Outcome = StartupSequence::Outcome;
using Answer = MessageBoxes::Answer;

namespace {

// Everything in place for the CTI-INS100 on COM3, both set-ups registered.
const QByteArray kCompleteIns100 =
    "[SYSTEM]\nadapter=1\nCommPort=3\nCOMMinit=True\nURLinit=True\n[URL]\npath1=http://crm.example.jp/?tel=\n";

// A first start: shipped settings, trace on, `ini` over them, `model` on COM3, the main window hidden. Each step
// dialog notes it was shown and moves appState to the next of `dialogAnswers`; `timeline` gathers sends and pauses.
struct FirstStart
{
    explicit FirstStart(const QByteArray& ini, const char* model = "CTI-INS100")
        : desk({.ini = "[SYSTEM]\ndebugmode=True\n" + ini, .adapter = model, .loaded = false})
    {
        desk.pauser.onPause = [this](std::chrono::milliseconds pause) {
            takeSends();
            timeline.append(QStringLiteral("pause %1").arg(pause.count()));
        };
        startup.setReplyWait(400ms);
    }
    std::function<void()> step(AppStateCode shown)
    {
        return [this, shown] {
            stepsShown.push_back(shown);
            popupVisibleAtFirstStep.push_back(window.popup().isVisible());
            if (!dialogAnswers.empty()) {
                desk.state().appState = dialogAnswers.front();
                dialogAnswers.pop_front();
            }
        };
    }
    void takeSends()
    {
        for (; traceSeen < trace.lines.size(); ++traceSeen)
            if (trace.lines.at(traceSeen).startsWith(QLatin1String("****SND--")))
                timeline.append(trace.lines.at(traceSeen).mid(9).section(u'[', 0, 0));
    }
    // The timeline without the 100 ms pauses (the popup's and the reply wait's polls).
    QStringList sendsAndLongPauses()
    {
        takeSends();
        QStringList result = timeline;
        result.removeAll(QStringLiteral("pause 100"));
        return result;
    }

    TraceCapture trace;
    TestDesk desk;
    frmTerminal& window = desk.window();
    const QByteArray settingsBefore = desk.dir.settingsBytes();
    std::deque<AppStateCode> dialogAnswers;
    std::vector<AppStateCode> stepsShown;
    std::vector<bool> popupVisibleAtFirstStep;
    QStringList timeline;
    qsizetype traceSeen = 0;
    StartupSequence startup{
        desk.state(), desk.boxes,
        desk.pauser,  desk.comm(),
        window,       {step(AppStateCode::AdapterStep), step(AppStateCode::CtiStep), step(AppStateCode::UrlStep)}};
};

} // namespace

// Sends and pauses by line kind: ISDN initialises (a pause each), pauses, identifies; analog identifies after a pause.
TEST(StartupAdapterCheck, CommandsAndPausesByLineKind)
{
    // clang-format off
    const struct { const char* model; const char* adapter; QStringList expected; } cases[] = {
        {"CTI-INS100", "1", {"ATZ", "pause 1000", "AT&D0", "pause 1000", "AT*CID=1", "pause 1000", "pause 1000", "ATI3", "pause 1000"}},
        {"CTI-AN10", "3", {"pause 1000", "AT", "pause 1000"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        FirstStart s(QByteArray("[SYSTEM]\nCommPort=3\nadapter=") + c.adapter +
                         "\n[URL]\npath1=http://crm.example.jp/?tel=",
                     c.model);
        QStringList untilTheQuestion;
        s.desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
            untilTheQuestion = s.sendsAndLongPauses();
        };

        EXPECT_EQ(s.startup.run(), Outcome::Running);

        EXPECT_EQ(std::tuple(untilTheQuestion, s.stepsShown.size(), s.desk.comm().reply().detectedModel),
                  std::tuple(c.expected, 0u, QString(c.model)));
        ASSERT_EQ(s.desk.boxes.shown.size(), 1u);
        EXPECT_EQ(s.desk.boxes.shown[0].text, u"待ち受けを開始しますか？");
    }
}

// A failed adapter check leads to the adapter step; adapter, port and kind forgotten in memory, the file untouched.
TEST(StartupAdapterCheck, FailuresLeadToTheAdapterStep)
{
    // clang-format off
    enum class Adapter { Answers, AnswersAsAnotherModel, Silent, AnswersGarbage, Unplugged, SlowerThanTheGuard };
    const struct { const char* name; Adapter adapter; const char* commPort; bool sendsIdentification; const char* adapterSlot = "1"; } cases[] = {
        {"another model", Adapter::AnswersAsAnotherModel, "3", true},
        {"no answer", Adapter::Silent, "3", true},
        {"garbage", Adapter::AnswersGarbage, "3", true},
        {"port gone during the check", Adapter::Unplugged, "3", true},
        // The main window's ten-second guard going off before the identification: the reply no longer counts.
        {"guard expired", Adapter::SlowerThanTheGuard, "3", true},
        {"port not a number", Adapter::Silent, "COM3", false},
        {"port 0", Adapter::Silent, "0", false},
        {"negative port", Adapter::Silent, "-3", false},
        {"port without a device", Adapter::Silent, "300", false},
        {"adapter naming an empty slot", Adapter::Answers, "3", false, "5"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirstStart s(QByteArray("[SYSTEM]\nadapter=") + c.adapterSlot + "\nCommPort=" + c.commPort +
                     "\n[URL]\npath1=http://crm.example.jp/?tel=");
        // The adapter step's dialog is left with OK; the user then declines standby.
        s.dialogAnswers = {AppStateCode::AskStandby};
        s.desk.boxes.answers = {Answer::No};
        AdapterSimulator& sim = *s.desk.sim;
        if (c.adapter == Adapter::AnswersAsAnotherModel)
            sim.answerAs(QStringLiteral("CTI-INS200"));
        sim.setSilent(c.adapter == Adapter::Silent || c.adapter == Adapter::AnswersGarbage ||
                      c.adapter == Adapter::Unplugged);
        QObject::connect(&sim, &AdapterSimulator::commandReceived, [&s, &c](const QString& command) {
            if (c.adapter == Adapter::AnswersGarbage && command == u"ATI3")
                s.desk.sim->sendBytes(QByteArray("\x85\xff#?garbage\x01\r", 13));
            else if (c.adapter == Adapter::Unplugged && command == u"ATI3")
                QTimer::singleShot(0, [&s] { s.desk.sim.reset(); });
            else if (c.adapter == Adapter::SlowerThanTheGuard && command == u"AT*CID=1")
                s.window.waitTimer_Timer();
        });

        EXPECT_EQ(s.startup.run(), Outcome::Running);

        EXPECT_EQ(s.stepsShown, std::vector<AppStateCode>{AppStateCode::AdapterStep});
        const SharedState& st = s.desk.state();
        EXPECT_EQ(QStringList({st.systemSettings.CommPort, st.systemSettings.adapter, st.adapterProfile.kind}),
                  QStringList({"", "", ""}));
        EXPECT_EQ(s.desk.dir.settingsBytes(), s.settingsBefore);
        EXPECT_EQ(s.sendsAndLongPauses().contains(QStringLiteral("ATI3")), c.sendsIdentification);
        EXPECT_FALSE(s.desk.comm().isReplyWaitRunning());
    }
}

// Nothing configured: the adapter dialog first, no popup, no word sent; only the URL missing: checked, URL dialog next.
TEST(StartupSteps, FirstStepByWhatIsMissing)
{
    // clang-format off
    const struct { const char* name; QByteArray ini; StateNumber firstStep; bool checked; } cases[] = {
        {"nothing configured", "", AppStateCode::AdapterStep, false},
        {"port missing", "[SYSTEM]\nadapter=1\n[URL]\npath1=http://x/?t=", AppStateCode::AdapterStep, false},
        {"only the URL missing", "[SYSTEM]\nadapter=1\nCommPort=3", AppStateCode::UrlStep, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirstStart s(c.ini);
        s.dialogAnswers = {AppStateCode::AskStandby};
        s.desk.boxes.answers = {Answer::No};

        EXPECT_EQ(s.startup.run(), Outcome::Running);

        EXPECT_EQ(s.stepsShown, std::vector<AppStateCode>{c.firstStep});
        EXPECT_EQ(s.popupVisibleAtFirstStep, std::vector<bool>{false});
        EXPECT_EQ(s.sendsAndLongPauses().contains(QStringLiteral("ATI3")), c.checked);
        EXPECT_EQ(s.trace.lines.filter(QStringLiteral("SND")).isEmpty(), !c.checked);
        EXPECT_TRUE(s.window.isVisible());
    }
}

// The dialogs lead from step to step; one closed without OK or Cancel is shown again.
TEST(StartupSteps, WalkThroughAndRepeatedDialog)
{
    FirstStart s({});
    s.dialogAnswers = {AppStateCode::AdapterStep, AppStateCode::CtiStep, AppStateCode::UrlStep, AppStateCode::UrlStep,
                       AppStateCode::AskStandby};
    s.desk.boxes.answers = {Answer::No};

    EXPECT_EQ(s.startup.run(), Outcome::Running);

    EXPECT_EQ(s.stepsShown,
              (std::vector<AppStateCode>{AppStateCode::AdapterStep, AppStateCode::AdapterStep, AppStateCode::CtiStep,
                                         AppStateCode::UrlStep, AppStateCode::UrlStep}));
    EXPECT_EQ(s.desk.state().appState, AppStateCode::StandbyOff);
    EXPECT_TRUE(s.window.isVisible());
}

// A confirmed Cancel or an unknown answer to the question ends the program: windows unloaded, port closed.
TEST(StartupSteps, QuitUnloadsEveryWindow)
{
    // clang-format off
    const struct { const char* name; QByteArray ini; std::deque<AppStateCode> dialogAnswers; std::deque<Answer> boxAnswers; std::size_t boxes; } cases[] = {
        {"Cancel in the adapter dialog", "", {AppStateCode::Quit}, {}, 0},
        {"Cancel in the URL dialog", "", {AppStateCode::UrlStep, AppStateCode::Quit}, {}, 0},
        {"the question closed", kCompleteIns100, {}, {Answer::Closed}, 1},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirstStart s(c.ini);
        s.dialogAnswers = c.dialogAnswers;
        s.desk.boxes.answers = c.boxAnswers;
        QSignalSpy unloaded(&s.window, &frmTerminal::unloaded);

        EXPECT_EQ(s.startup.run(), Outcome::Quit);

        EXPECT_EQ(std::tuple(unloaded.count(), s.window.isVisible(), s.window.popup().isVisible(),
                             s.desk.comm().IsPortOpen(), s.desk.boxes.shown.size()),
                  std::tuple(1, false, false, false, c.boxes));
    }
}

// The question or notice by `COMMinit` and `URLinit`, and where each answer leads.
TEST(StartupQuestion, TextsAndOutcomes)
{
    const QString question = QStringLiteral("待ち受けを開始しますか？");
    const QString adapterNotice = QStringLiteral("アダプタ設定が未完了なので、待ち受けは開始できません。");
    const QString urlNotice = QStringLiteral("URL設定が未完了です。");
    // clang-format off
    const struct { const char* commInit; const char* urlInit; Answer answer; QString text; StateNumber appState; } cases[] = {
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
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.commInit) + "/" + c.urlInit);
        FirstStart s(QByteArray("[SYSTEM]\nadapter=1\nCommPort=3\nCOMMinit=") + c.commInit + "\nURLinit=" + c.urlInit +
                     "\n[URL]\npath1=http://crm.example.jp/?tel=");
        s.desk.boxes.answers = {c.answer};

        EXPECT_EQ(s.startup.run(), Outcome::Running);

        ASSERT_EQ(s.desk.boxes.shown.size(), 1u);
        const ScriptedMessageBoxes::Shown& box = s.desk.boxes.shown[0];
        const bool on = c.appState == AppStateCode::StandbyOn;
        EXPECT_EQ(std::tuple(box.text, box.title, box.buttons),
                  std::tuple(c.text, QString("着信"),
                             c.text == question ? MessageBoxes::Buttons::YesNo : MessageBoxes::Buttons::Ok));
        EXPECT_EQ(std::tuple(s.desk.state().appState, s.window.isVisible(), s.window.Timer1.isActive()),
                  std::tuple(AppStateCode(c.appState), true, on));
        // Declined: the port the check opened is closed again; accepted, the start timer reopens it for standby.
        if (!on) {
            EXPECT_FALSE(s.desk.comm().IsPortOpen());
        }
    }
}

// Yes: standby comes on a second later through the main window's start timer; a call then reaches the browser.
TEST(StartupQuestion, YesStartsStandbyASecondLater)
{
    FirstStart s(kCompleteIns100);
    s.desk.boxes.answers = {Answer::Yes};
    ASSERT_EQ(s.startup.run(), Outcome::Running);
    EXPECT_EQ(s.window.cbMachiuke->text(), u"待ち受け開始");

    ASSERT_TRUE(processEventsUntil([&] { return s.window.cbMachiuke->text() == u"待ち受け停止"; }, 5s));
    EXPECT_FALSE(s.window.Timer1.isActive());
    EXPECT_EQ(s.desk.state().rcvMode, RcvMode::Idle);
    s.desk.sim->raiseCall(QStringLiteral("0312345678"));
    EXPECT_TRUE(processEventsUntil([&] { return s.window.txtRecvData->text() == u"0312345678"; }, 5s));
}

// An unusable settings file: one message with its full path and what is wrong, then the program ends.
TEST(StartupSettingsFile, UnusableFileEndsTheProgram)
{
    // clang-format off
    const struct { const char* name; const char* expectedText; std::function<void(TempAppDir&)> spoil; } cases[] = {
        {"missing", "設定ファイルが見つかりません。", [](TempAppDir& dir) { QFile::remove(dir.settingsPath()); }},
        {"a directory", "設定ファイルが見つかりません。", [](TempAppDir& dir) { QFile::remove(dir.settingsPath()); QDir().mkdir(dir.settingsPath()); }},
        {"no model listed", "設定ファイルの [ADAPTER] にアダプタの機種が一つもありません。",
         [](TempAppDir& dir) { dir.writeSettings("[SYSTEM]\r\nappName=着信\r\n[ADAPTER]\r\nadapter1=\r\n"); }},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FirstStart s({});
        c.spoil(s.desk.dir);
        QSignalSpy unloaded(&s.window, &frmTerminal::unloaded);

        EXPECT_EQ(s.startup.run(), Outcome::SettingsUnusable);

        ASSERT_EQ(s.desk.boxes.shown.size(), 1u);
        const QString text = s.desk.boxes.shown[0].text;
        EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.expectedText))) << text.toStdString();
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(s.desk.dir.settingsPath()))) << text.toStdString();
        EXPECT_EQ(std::tuple(s.desk.boxes.shown[0].icon, s.stepsShown.size(), unloaded.count()),
                  std::tuple(MessageBoxes::Icon::Critical, 0u, 1));
    }
}

// A step without its dialog cannot be completed: the main window comes up with standby off, not the step again.
TEST(StartupSteps, StepWithoutDialog)
{
    FirstStart s({});
    StartupSequence bare(s.desk.state(), s.desk.boxes, s.desk.pauser, s.desk.comm(), s.window, StepDialogs{});

    EXPECT_EQ(bare.run(), Outcome::Running);

    EXPECT_EQ(std::tuple(s.desk.state().appState, s.window.isVisible(), s.desk.boxes.shown.size()),
              std::tuple(AppStateCode::StandbyOff, true, 0u));
}
