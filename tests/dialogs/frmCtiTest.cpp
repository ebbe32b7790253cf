#include "dialogs/frmCti.h"

#include "app/Settings.h"
#include "ui/frmMessage.h"

#include "support/QStringPrinter.h"
#include "support/TestDesk.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

namespace {

const QString kStored = QStringLiteral("CTI設定を登録しました。");

// Shipped settings, `model` on COM3 as adapter `index`, COMMinit True, `extra` over them; COM9 has no device.
TestDesk dialogDesk(const char* model = "CTI-INS100", const char* index = "1", const QByteArray& extra = {})
{
    return TestDesk({.ini = "[SYSTEM]\nadapter=" + QByteArray(index) +
                            "\nCommPort=3\nCOMMinit=True\n[PORTS]\nCOM9=/nonexistent/tty\n" + extra,
                     .adapter = model});
}

// From now on, while `when` holds, a running reply wait expires at its first poll; `intervals` gets its interval.
void expireWaits(TestDesk& desk, frmCti& dialog, std::vector<int>& intervals, std::function<bool()> when)
{
    desk.pauser.onPause = [&, when](std::chrono::milliseconds pause) {
        // The popup's own pause is as long as a poll; only a running wait expires.
        if (pause == frmComm::kReplyPoll && dialog.waitTimer.isActive() && when()) {
            intervals.push_back(dialog.waitTimer.interval());
            dialog.waitTimer_Timer();
        }
    };
}

struct CtiDialog
{
    explicit CtiDialog(TestDesk& desk)
        : dialog(desk.state(), desk.boxes, desk.pauser, desk.comm(), desk.window())
    {
        dialog.show();
    }
    /// "通知する" for ports 1 to 3.
    std::array<bool, 3> notify() const
    {
        return {dialog.opCti1[0]->isChecked(), dialog.opCti2[0]->isChecked(), dialog.opCti3[0]->isChecked()};
    }
    void select(const std::array<bool, 3>& notify)
    {
        for (int i = 0; i < 3; ++i)
            std::array{dialog.opCti1, dialog.opCti2, dialog.opCti3}[i][notify[i] ? 0 : 1]->setChecked(true);
    }
    std::array<bool, 3> frames() const
    {
        return {dialog.frCtiSettings[1]->isVisible(), dialog.frCtiSettings[2]->isVisible(),
                dialog.frCtiSettings[3]->isVisible()};
    }
    /// Whether cmdCti, cmdCtiSetting, cmdOK and cmdCancel are enabled.
    std::array<bool, 4> enabled() const
    {
        return {dialog.cmdCti->isEnabled(), dialog.cmdCtiSetting->isEnabled(), dialog.cmdOK->isEnabled(),
                dialog.cmdCancel->isEnabled()};
    }
    frmCti dialog;
};

QStringList inMemory(const SharedState& state)
{
    const SystemSettings& s = state.systemSettings;
    return {s.ctiSettings1, s.ctiSettings2, s.ctiSettings3};
}

QStringList stored(const SharedState& state)
{
    return {ReadIni(state, "SYSTEM", "ctiSettings1"), ReadIni(state, "SYSTEM", "ctiSettings2"),
            ReadIni(state, "SYSTEM", "ctiSettings3")};
}

QStringList boxTexts(const TestDesk& desk)
{
    QStringList texts;
    for (const auto& box : desk.boxes.shown)
        texts << box.text;
    return texts;
}

} // namespace

// Opening: adapter, port and line labels, the profile's port frames, the stored values, the port closed.
TEST(frmCtiOpening, ShowsTheStoredSetting)
{
    TestDesk desk = dialogDesk("CTI-INS100", "1", "[SYSTEM]\nctiSettings1=\nctiSettings2=1\n");
    desk.window().move(130, 170);
    desk.comm().OpenPort(3);
    CtiDialog c(desk);
    frmCti& d = c.dialog;
    EXPECT_FALSE(desk.comm().IsPortOpen());
    EXPECT_EQ(d.windowTitle(), QStringLiteral("ＣＴＩ設定"));
    EXPECT_EQ(std::tuple(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint), d.pos()),
              std::tuple(true, desk.window().pos()));
    EXPECT_EQ(QStringList({d.lbPort->text(), d.lbAdapterName->text(), d.lbKind->text(), d.lbKenshutu->text(),
                           d.lbP[1]->text(), d.lbP[2]->text(), d.lbMessage->text()}),
              QStringList({"COM3", "CTI-INS100", "INS回線", "", "ポート1（電話機）", "ポート2（FAX）",
                           "「CTI検出」をクリックすると、アダプタからCTI設定情報を取得します。\n"
                           "「設定」をクリックすると、アダプタへCTI設定情報送信します。"}));
    EXPECT_EQ(std::tuple(c.frames(), c.notify(), d.waitTimer.interval(), c.enabled()),
              std::tuple(std::array{true, true, false}, std::array{false, true, false}, 5000,
                         std::array{true, true, true, true}));
    for (const char* name : {"frCtiSettings1", "lbP3", "opCti1_0", "opCti3_1", "cmdCti", "cmdCtiSetting", "cmdOK",
                             "cmdCancel", "lbMessage", "lbKenshutu", "lbPort", "lbAdapterName", "lbKind", "Label1_1"})
        EXPECT_NE(d.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
}

// Port captions with a gap: only the named ports have a frame.
TEST(frmCtiOpening, PortNamesWithGaps)
{
    TestDesk desk = dialogDesk("CTI-INS200", "2", "[CTI-INS200]\nport2=\n");
    CtiDialog c(desk);
    EXPECT_EQ(c.frames(), (std::array{true, false, true}));
    EXPECT_EQ(c.dialog.lbP[3]->text(), QStringLiteral("デジタルポート"));
}

// Unfinished adapter setting, faulty adapter or analog line: the message says why, the CTI buttons are off.
TEST(frmCtiOpening, WhenThereIsNothingToDo)
{
    // clang-format off
    struct Row { const char* what; const char* model; const char* index; const char* commInit; StateNumber appState;
                 const char* message; const char* kenshutu; };
    const Row rows[] = {
        {"unfinished", "CTI-INS100", "1", "False", 109, "アダプタ設定が完了していません。", "未設定"},
        {"unreadable", "CTI-INS100", "1", "", 109, "アダプタ設定が完了していません。", "未設定"},
        {"faulty", "CTI-INS100", "1", "True", 999, "アダプタ異常", ""},
        {"analog", "CTI-AN10", "3", "True", 109, "アナログ回線では、CTI設定は不要です。", ""},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk = dialogDesk(row.model, row.index, "[SYSTEM]\nCOMMinit=" + QByteArray(row.commInit));
        desk.state().appState = row.appState;
        CtiDialog c(desk);
        EXPECT_EQ(QStringList({c.dialog.lbMessage->text(), c.dialog.lbKenshutu->text()}),
                  QStringList({row.message, row.kenshutu}));
        EXPECT_EQ(c.enabled(), (std::array{false, false, false, true}));
    }
}

// Read-out in both schemes: the queries, the buttons and memory from the replies, up to three ports.
TEST(frmCtiReadOut, BothSchemes)
{
    // clang-format off
    struct Row { const char* what; const char* model; const char* index; const char* ini; std::array<bool, 3> adapterPorts;
                 QStringList queries; std::array<bool, 3> shown; QStringList memory; };
    const Row rows[] = {
        {"single query, both", "CTI-INS100", "1", "", {true, true, false}, {"AT*CTI?"}, {true, true, true}, {"1", "1", "1"}},
        {"single query, port 2", "CTI-INS100", "1", "", {false, true, false}, {"AT*CTI?"}, {false, true, false}, {"0", "1", "0"}},
        {"per port", "CTI-INS200", "2", "", {false, true, true}, {"AT#P1?", "AT#P2?", "AT#P3?"}, {false, true, true}, {"0", "1", "1"}},
        {"per port, two queries", "CTI-INS200", "2", "[CTI-INS200]\ngetCtiInfo3=", {true, true, true}, {"AT#P1?", "AT#P2?"}, {true, true, false}, {"1", "1", ""}},
        {"per port, five queries", "CTI-INS200", "2", "[CTI-INS200]\ngetCtiInfo4=AT#P4?\nctiInfo4=#P4:\ngetCtiInfo5=AT#P5?\nctiInfo5=#P5:",
         {true, false, true}, {"AT#P1?", "AT#P2?", "AT#P3?"}, {true, false, true}, {"1", "0", "1"}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk = dialogDesk(row.model, row.index, row.ini);
        desk.sim->setCtiPorts(row.adapterPorts);
        CtiDialog c(desk);
        c.dialog.cmdCti->click();
        EXPECT_EQ(
            std::tuple(desk.sim->commandsReceived(), c.notify(), inMemory(desk.state()), c.dialog.lbKenshutu->text()),
            std::tuple(row.queries, row.shown, row.memory, QString("CTI設定検出完了")));
        EXPECT_EQ(std::tuple(desk.state().rcvMode, desk.comm().IsPortOpen(), desk.boxes.shown.size(),
                             c.dialog.cmdCti->isEnabled()),
                  std::tuple(RcvMode::ReadOutDone, true, 0u, true));
    }
}

// Failed read-outs (silence: the 8000 ms wait) show "通知しない"; memory keeps what came before.
TEST(frmCtiReadOut, Failures)
{
    // clang-format off
    struct Row { const char* what; const char* model; const char* index; const char* ini;
                 const char* silentFrom; // the query from which the adapter stays silent
                 const char* caption; QStringList boxes; QStringList memory; };
    const Row rows[] = {
        {"silent", "CTI-INS100", "1", "[SYSTEM]\nEcho=", "AT*CTI?", "CTI設定検出タイムアウト", {}, {"", "", ""}},
        {"silent mid-read-out", "CTI-INS200", "2", "[SYSTEM]\nEcho=", "AT#P2?", "CTI設定検出タイムアウト", {}, {"0", "", ""}},
        {"only the prefix", "CTI-INS100", "1", "[CTI-INS100]\nrsp1_NN=", nullptr, "CTI設定検出エラー", {"CTI設定応答データが異常です"}, {"", "", ""}},
        {"no number", "CTI-INS100", "1", "[CTI-INS100]\ngetCtiCommand=one", nullptr, "CTI設定検出エラー", {}, {"1", "1", "0"}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk = dialogDesk(
            row.model, row.index, row.ini + QByteArray("\n[SYSTEM]\nctiSettings1=1\nctiSettings2=1\nctiSettings3=0\n"));
        CtiDialog c(desk);
        ASSERT_EQ(c.notify(), (std::array<bool, 3>{true, true, false}));
        std::vector<int> waitIntervals;
        if (row.silentFrom) {
            QObject::connect(desk.sim.get(), &AdapterSimulator::commandReceived, desk.sim.get(),
                             [&desk, &row](const QString& command) {
                                 if (command == QLatin1String(row.silentFrom))
                                     desk.sim->setSilent(true);
                             });
            expireWaits(desk, c.dialog, waitIntervals, [&desk] { return desk.sim->isSilent(); });
        }
        c.dialog.cmdCti->click();
        EXPECT_EQ(std::tuple(c.dialog.lbKenshutu->text(), boxTexts(desk), c.notify(), inMemory(desk.state())),
                  std::tuple(QString(row.caption), row.boxes, std::array{false, false, false}, row.memory));
        if (row.silentFrom) {
            ASSERT_FALSE(waitIntervals.empty());
            EXPECT_EQ(waitIntervals.back(), 8000);
        }
        EXPECT_NE(desk.state().rcvMode, RcvMode::ReadOutDone);
        EXPECT_TRUE(c.dialog.cmdCti->isEnabled());
    }
}

// The send: the commands after the initialisation, what is stored, the message, the CTI step moving on.
TEST(frmCtiSend, CommandSequences)
{
    // clang-format off
    struct Row { const char* what; const char* model; const char* index; const char* ini; std::array<bool, 3> selected;
                 qsizetype initialisation; QStringList commands; QStringList stored; std::array<bool, 3> adapterPorts; };
    const Row rows[] = {
        {"single query, both, port 3 ignored", "CTI-INS100", "1", "", {true, true, true}, 3, {"AT*CTI=3", "AT&W"}, {"1", "1", "0"}, {true, true, false}},
        {"single query, one command", "CTI-INS100", "1", "[CTI-INS100]\ncti_both_2=", {true, true, false}, 3, {"AT*CTI=3"}, {"1", "1", "0"}, {true, true, false}},
        {"single query, none", "CTI-INS100", "1", "", {false, false, true}, 3, {"AT*CTI=0", "AT&W"}, {"0", "0", "0"}, {false, false, false}},
        {"per port, only port 2", "CTI-INS200", "2", "", {false, true, false}, 2, {"AT#P1=0", "AT#P2=1", "AT#P3=0"}, {"0", "1", "0"}, {false, true, false}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk = dialogDesk(row.model, row.index, row.ini);
        desk.state().appState = AppStateCode::CtiStep;
        desk.sim->setCtiPorts({true, true, true});
        CtiDialog c(desk);
        c.select(row.selected);
        c.dialog.cmdCtiSetting->click();
        // What the adapter received after its initialisation commands.
        EXPECT_EQ(desk.sim->commandsReceived().size(), row.initialisation + row.commands.size());
        EXPECT_EQ(desk.sim->commandsReceived().mid(row.initialisation), row.commands);
        EXPECT_EQ(std::tuple(desk.sim->ctiPorts(), stored(desk.state()), c.dialog.lbKenshutu->text(), boxTexts(desk)),
                  std::tuple(row.adapterPorts, row.stored, QString("CTI設定送信完了"), QStringList{kStored}));
        EXPECT_EQ(std::tuple(desk.state().appState, desk.state().rcvMode, desk.comm().IsPortOpen(),
                             desk.window().popup().isVisible(), c.dialog.isVisible()),
                  std::tuple(AppStateCode::UrlStep, RcvMode::Initial, true, false, true));
    }
}

// Sends that cannot happen: port not opening, no number, analog line, settings not writable.
TEST(frmCtiSend, Failures)
{
    // clang-format off
    struct Row { const char* what; const char* model; const char* index; const char* ini; bool readOnly; const char* caption;
                 QStringList boxes; bool adapterLabel; StateNumber appState; };
    const Row rows[] = {
        {"port does not open", "CTI-INS100", "1", "[SYSTEM]\nCommPort=9", false, "ポートオープンエラー", {}, false, 102},
        {"port not a number", "CTI-INS100", "1", "[SYSTEM]\nCommPort=x", false, "ポートオープンエラー", {}, false, 102},
        {"no number", "CTI-INS100", "1", "[CTI-INS100]\ngetCtiCommand=one", false, "CTI設定送信エラー", {}, true, 102},
        {"analog", "CTI-AN10", "3", "", false, "", {}, true, 102},
        {"read-only settings", "CTI-INS100", "1", "", true, "CTI設定送信完了", {"INIファイルの書き込みに失敗しました。"}, true, 102},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk = dialogDesk(row.model, row.index, row.ini);
        desk.state().appState = AppStateCode::CtiStep;
        CtiDialog c(desk);
        const QByteArray before = desk.dir.settingsBytes();
        if (row.readOnly)
            desk.makeSettingsReadOnly();
        c.select({true, true, false});
        c.dialog.cmdCtiSetting_Click();
        const bool initialised = QString::fromUtf8(row.caption) != u"ポートオープンエラー" && row.caption[0] != '\0';
        EXPECT_EQ(desk.sim->commandsReceived().size(), !initialised ? 0 : row.readOnly ? 5 : 3);
        EXPECT_EQ(std::tuple(c.dialog.lbKenshutu->text(), boxTexts(desk), !c.dialog.lbAdapterName->text().isEmpty()),
                  std::tuple(QString(row.caption), row.boxes, row.adapterLabel));
        EXPECT_EQ(desk.dir.settingsBytes(), before);
        EXPECT_EQ(std::tuple(desk.state().appState, c.dialog.cmdCtiSetting->isEnabled()),
                  std::tuple(row.appState, true));
    }
}

// A read-out that cannot open the port sends nothing and shows no box.
TEST(frmCtiReadOut, PortDoesNotOpen)
{
    TestDesk desk = dialogDesk("CTI-INS100", "1", "[SYSTEM]\nCommPort=9\n");
    CtiDialog c(desk);
    c.dialog.cmdCti->click();
    EXPECT_EQ(std::tuple(c.dialog.lbKenshutu->text(), desk.sim->commandsReceived(), boxTexts(desk),
                         c.dialog.lbAdapterName->text().isEmpty()),
              std::tuple(QString("ポートオープンエラー"), QStringList(), QStringList(), false));
}

// OK stores memory, not the buttons changed since, and ends the CTI step; a failed write changes no state.
TEST(frmCtiStoring, OkStoresMemoryNotTheButtons)
{
    for (bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly);
        TestDesk desk = dialogDesk("CTI-INS100", "1", "[SYSTEM]\nctiSettings1=1\nctiSettings2=0\nctiSettings3=\n");
        desk.state().appState = AppStateCode::CtiStep;
        CtiDialog c(desk);
        desk.sim->setCtiPorts({false, true, false});
        c.dialog.cmdCti->click();
        c.select({true, false, true});
        if (readOnly)
            desk.makeSettingsReadOnly();
        c.dialog.cmdOK->click();
        EXPECT_EQ(std::tuple(boxTexts(desk), desk.state().appState, c.dialog.isVisible()),
                  std::tuple(QStringList{readOnly ? "INIファイルの書き込みに失敗しました。" : kStored},
                             readOnly ? AppStateCode::CtiStep : AppStateCode::UrlStep, false));
        EXPECT_EQ(stored(desk.state()), readOnly ? QStringList({"1", "0", ""}) : QStringList({"0", "1", "0"}));
    }
}

// Cancel in the CTI step asks; confirmed, start-up quits. Memory is reloaded from the file.
TEST(frmCtiCancelling, AsksDuringTheCtiStep)
{
    // clang-format off
    struct Row { StateNumber appState; MessageBoxes::Answer answer; std::size_t boxes; bool closed; StateNumber appStateAfter; };
    const Row rows[] = {
        {102, MessageBoxes::Answer::Cancel, 1, false, 102},
        {102, MessageBoxes::Answer::Ok, 1, true, 901},
        {109, MessageBoxes::Answer::Ok, 0, true, 109},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.appState << " " << static_cast<int>(row.answer));
        TestDesk desk = dialogDesk("CTI-INS100", "1", "[SYSTEM]\nctiSettings1=0\n");
        desk.state().appState = row.appState;
        CtiDialog c(desk);
        desk.sim->setCtiPorts({true, true, false});
        c.dialog.cmdCti->click();
        ASSERT_EQ(desk.state().systemSettings.ctiSettings1, QStringLiteral("1"));
        desk.boxes.answers = {row.answer};
        c.dialog.cmdCancel->click();
        ASSERT_EQ(desk.boxes.shown.size(), row.boxes);
        if (row.boxes != 0) {
            EXPECT_EQ(desk.boxes.shown[0].text, QStringLiteral("終了します。よろしいですか？"));
        }
        EXPECT_EQ(std::tuple(c.dialog.isVisible(), desk.state().appState, desk.state().systemSettings.ctiSettings1),
                  std::tuple(!row.closed, AppStateCode(row.appStateAfter), QString(row.closed ? "0" : "1")));
    }
}

// Shown modally in the CTI step and closed by the window manager: appState stays.
TEST(frmCtiModal, WindowManagerCloseKeepsTheStep)
{
    TestDesk desk = dialogDesk();
    desk.state().appState = AppStateCode::CtiStep;
    frmCti dialog(desk.state(), desk.boxes, desk.pauser, desk.comm(), desk.window());
    QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
    dialog.exec();
    EXPECT_EQ(std::tuple(dialog.isVisible(), desk.state().appState, desk.boxes.shown.size()),
              std::tuple(false, AppStateCode::CtiStep, 0u));
}
