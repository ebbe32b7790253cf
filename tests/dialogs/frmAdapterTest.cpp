#include "dialogs/frmAdapter.h"

#include "app/Settings.h"
#include "ui/frmMessage.h"

#include "support/QStringPrinter.h"
#include "support/TestDesk.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

const QString kTitle = QStringLiteral("着信");
const QString kIncompleteQuestion =
    QStringLiteral("\rアダプタ設定が完了していません。\rこのまま設定ファイルに書き込みますか？");

// Shipped settings, `model` on COM3 as adapter `index`, COMMinit True, `extra` over them; COM9 has no device.
TestDesk dialogDesk(const char* model = "CTI-INS100", const char* index = "1", const QByteArray& extra = {})
{
    return TestDesk({.ini = "[SYSTEM]\nadapter=" + QByteArray(index) +
                            "\nCommPort=3\nCOMMinit=True\n[PORTS]\nCOM9=/nonexistent/tty\n" + extra,
                     .adapter = model});
}

// From now on a running reply wait expires at its first poll; `intervals` gets the timer's interval at each.
void expireWaits(TestDesk& desk, frmAdapter& dialog, std::vector<int>& intervals)
{
    desk.pauser.onPause = [&](std::chrono::milliseconds pause) {
        // The popup's own pause is as long as a poll; only a running wait expires.
        if (pause == frmComm::kReplyPoll && dialog.waitTimer.isActive()) {
            intervals.push_back(dialog.waitTimer.interval());
            dialog.waitTimer_Timer();
        }
    };
}

struct AdapterDialog
{
    explicit AdapterDialog(TestDesk& desk)
        : dialog(desk.state(), desk.boxes, desk.pauser, desk.comm(), desk.window())
    {
        dialog.setBeep([this] { ++beeps; });
        dialog.show();
    }
    void detect(int port, int model)
    {
        dialog.cboPort->setCurrentIndex(port);
        dialog.cboAdapterName->setCurrentIndex(model);
        dialog.cmdAdapter->click();
    }
    frmAdapter dialog;
    int beeps = 0;
};

// COMMinit, CommPort and adapter as settings.ini has them now.
QStringList storedPort(TestDesk& desk)
{
    return {ReadIni(desk.state(), "SYSTEM", "COMMinit"), ReadIni(desk.state(), "SYSTEM", "CommPort"),
            ReadIni(desk.state(), "SYSTEM", "adapter")};
}

} // namespace

// A working adapter's settings: lists, labels, the port closed (standby ends), place, icon, top-most flag.
TEST(frmAdapterOpening, ShowsTheCurrentSetting)
{
    TestDesk desk = dialogDesk("CTI-INS100", "1", "[SYSTEM]\niconFile=\\app.png\n");
    desk.paint(QStringLiteral("app.png"), Qt::blue);
    desk.window().move(130, 170);
    desk.comm().OpenPort(3);
    ASSERT_TRUE(desk.comm().IsPortOpen());

    AdapterDialog a(desk);
    frmAdapter& d = a.dialog;
    EXPECT_FALSE(desk.comm().IsPortOpen());
    EXPECT_EQ(std::tuple(d.windowTitle(), d.windowFlags().testFlag(Qt::WindowStaysOnTopHint), d.pos()),
              std::tuple(QString("アダプタ設定"), true, desk.window().pos()));
    EXPECT_EQ(pictureOf(d.windowIcon()), desk.filePicture(QStringLiteral("app.png")));

    ASSERT_EQ(std::tuple(d.cboPort->count(), d.cboAdapterName->count()), std::tuple(16, 6));
    EXPECT_EQ(std::tuple(d.cboPort->currentIndex(), d.cboAdapterName->currentIndex()), std::tuple(2, 1));
    EXPECT_EQ(QStringList({d.cboPort->itemText(0), d.cboPort->itemText(15), d.cboAdapterName->itemText(0),
                           d.cboAdapterName->itemText(4), d.cboAdapterName->itemText(5), d.cboKind->currentText()}),
              QStringList({"Com1", "Com16", "", "ソラノT1", "", "INS回線"}));
    EXPECT_EQ(QStringList({d.lbMessage->text(), d.lbAdapterName->text(), d.lbKind->text(), d.lbKenshutu->text(),
                           d.lbPortDevice->text()}),
              QStringList(
                  {"現在のアダプタ設定で動作しています。", "CTI-INS100", "INS回線", "", "→ " + desk.sim->portPath()}));
    EXPECT_EQ(std::tuple(d.waitTimer.isActive(), d.cmdModem->isEnabled(), d.cmdModem->toolTip().isEmpty()),
              std::tuple(false, false, false));
    for (QPushButton* button : {d.cmdAdapter, d.cmdOK, d.cmdCancel, d.cmdDevice})
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
    for (const char* name : {"cboPort", "cboAdapterName", "cboKind", "cmdAdapter", "cmdOK", "cmdCancel", "cmdDevice",
                             "cmdModem", "lbMessage", "lbKenshutu", "lbAdapterName", "lbKind", "Label1_0", "Label1_3"})
        EXPECT_NE(d.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
}

// Values the lists cannot show leave them unselected; incomplete or faulty settings say so in the labels.
TEST(frmAdapterOpening, ValuesTheListsCannotShow)
{
    // clang-format off
    struct Row { const char* commPort; const char* adapter; StateNumber appState; int port; int model;
                 const char* message; const char* kenshutu; const char* portDevice; };
    const Row rows[] = {
        {"17", "1", 109, -1, 1, "現在のアダプタ設定で動作しています。", "", ""},
        {"0", "1", 109, -1, 1, "現在のアダプタ設定で動作しています。", "", ""},
        {"abc", "1", 109, -1, 1, "現在のアダプタ設定で動作しています。", "", ""},
        {"9", "1", 109, 8, 1, "現在のアダプタ設定で動作しています。", "", "→ /nonexistent/tty（見つかりません）"},
        {"3", "7", 109, -1, -1, "アダプタが未設定です。アダプタ検出をクリックしてください。", "", ""},
        {"3", "5", 109, 2, 5, "アダプタが未設定です。アダプタ検出をクリックしてください。", "", nullptr},
        {"", "1", 109, -1, 1, "ポートと機種を指定し、「アダプタ検出」を実行してください。", "未設定", ""},
        {"3", "1", 999, 2, 1, "アダプタ異常", "", nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.commPort) + " / " + row.adapter);
        TestDesk desk = dialogDesk("CTI-INS100", row.adapter, "[SYSTEM]\nCommPort=" + QByteArray(row.commPort));
        desk.state().appState = row.appState;
        AdapterDialog a(desk);
        const frmAdapter& d = a.dialog;
        EXPECT_EQ(std::tuple(d.cboPort->currentIndex(), d.cboAdapterName->currentIndex(), d.lbMessage->text(),
                             d.lbKenshutu->text()),
                  std::tuple(row.port, row.model, QString(row.message), QString(row.kenshutu)));
        if (row.portDevice) {
            EXPECT_EQ(d.lbPortDevice->text(), QString::fromUtf8(row.portDevice));
        }
    }
}

// A long by-id name beside the port list keeps its start, its end and the missing note; the tooltip has it whole.
TEST(frmAdapterOpening, LongDeviceNameFitsBesideThePort)
{
    const QByteArray byId = "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller_D_"
                            "0123456789ABCDEF-if00-port0";
    TestDesk desk = dialogDesk("CTI-INS100", "1", "[SYSTEM]\nCommPort=4\n[PORTS]\nCOM4=" + byId);
    AdapterDialog a(desk);
    const QLabel& label = *a.dialog.lbPortDevice;
    EXPECT_EQ(std::tuple(label.toolTip(), label.text().startsWith("→ /dev/serial/"),
                         label.text().endsWith("port0（見つかりません）")),
              std::tuple(QString(byId), true, true))
        << label.text().toStdString();
    EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.width());
}

// No port or no model: a beep, the message, nothing sent, port and model in memory cleared.
TEST(frmAdapterDetection, RefusedWithoutPortOrModel)
{
    const std::pair<int, int> selections[] = {{-1, 1}, {2, 0}, {2, -1}};
    for (const auto& [port, model] : selections) {
        SCOPED_TRACE(testing::Message() << port << " / " << model);
        TestDesk desk = dialogDesk();
        AdapterDialog a(desk);
        a.detect(port, model);
        const SharedState& st = desk.state();
        EXPECT_EQ(QStringList({a.dialog.lbMessage->text(), st.systemSettings.CommPort, st.systemSettings.adapter,
                               st.adapterProfile.kind, a.dialog.lbAdapterName->text()}),
                  QStringList({"ポートを指定してください。", "", "", "", ""}));
        EXPECT_EQ(std::tuple(a.beeps, desk.sim->commandsReceived(), a.dialog.cmdAdapter->isEnabled(),
                             a.dialog.cmdOK->isEnabled()),
                  std::tuple(1, QStringList(), true, true));
    }
}

// A model entry without a name: "機種エラー", and the port stays closed.
TEST(frmAdapterDetection, EmptyModelName)
{
    TestDesk desk = dialogDesk();
    AdapterDialog a(desk);
    desk.comm().OpenPort(3);
    a.detect(2, 5);
    EXPECT_EQ(std::tuple(a.dialog.lbKenshutu->text(), desk.comm().IsPortOpen(), desk.sim->commandsReceived(), a.beeps,
                         desk.state().systemSettings.adapter),
              std::tuple(QString("機種エラー"), false, QStringList(), 0, QString()));
}

// INS initialises before identifying, analog only identifies; both detected under the popup, port left open.
TEST(frmAdapterDetection, InitialisationByLineKind)
{
    // clang-format off
    struct Row { const char* model; const char* index; int entry; QStringList commands; const char* kind; };
    const Row rows[] = {
        {"CTI-INS100", "1", 1, {"ATZ", "AT&D0", "AT*CID=1", "ATI3"}, "INS回線"},
        {"CTI-AN10", "3", 3, {"AT"}, "アナログ回線"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.model);
        TestDesk desk = dialogDesk(row.model, row.index);
        AdapterDialog a(desk);
        QString popupText;
        desk.pauser.onPause = [&](std::chrono::milliseconds) {
            if (desk.window().popup().isVisible())
                popupText = desk.window().popup().lbMsg->text();
        };
        a.detect(2, row.entry);
        EXPECT_EQ(desk.sim->commandsReceived(), row.commands);
        EXPECT_EQ(QStringList({a.dialog.lbKenshutu->text(), a.dialog.lbAdapterName->text(), a.dialog.lbKind->text(),
                               desk.state().systemSettings.CommPort, popupText}),
                  QStringList({"検出完了", row.model, row.kind, "3", "しばらくお待ちください・・・"}));
        EXPECT_EQ(
            std::tuple(desk.state().rcvMode, desk.comm().IsPortOpen(), desk.window().popup().isVisible(), a.beeps),
            std::tuple(RcvMode::GetAInfo, true, false, 0));
    }
}

// Silence (the 5000 ms wait), garbage or no identification command: nothing detected, OK finds it incomplete.
TEST(frmAdapterDetection, NothingDetected)
{
    // clang-format off
    enum class Adapter { Silent, Garbage, NoGetinfo };
    // clang-format on
    for (Adapter kind : {Adapter::Silent, Adapter::Garbage, Adapter::NoGetinfo}) {
        SCOPED_TRACE(static_cast<int>(kind));
        TestDesk desk = dialogDesk(
            "CTI-INS100", "1", kind == Adapter::NoGetinfo ? "[CTI-INS100]\ngetinfo=" : "[CTI-INS100]\ngetinfo=ATI3");
        AdapterDialog a(desk);
        std::vector<int> waitIntervals;
        if (kind == Adapter::Silent)
            desk.sim->setSilent(true);
        if (kind == Adapter::Garbage)
            desk.sim->answerAs(QStringLiteral("XQ-77"));
        else
            expireWaits(desk, a.dialog, waitIntervals);
        a.detect(2, 1);
        if (kind != Adapter::Garbage) {
            ASSERT_FALSE(waitIntervals.empty());
            EXPECT_EQ(waitIntervals.front(), 5000);
        }
        EXPECT_EQ(QStringList({a.dialog.lbKenshutu->text(), a.dialog.lbAdapterName->text(),
                               desk.state().systemSettings.CommPort, desk.state().systemSettings.adapter}),
                  QStringList({"検出できませんでした", "", "", ""}));
        EXPECT_EQ(std::tuple(desk.state().rcvMode, desk.comm().IsPortOpen()), std::tuple(RcvMode::Initial, true));

        desk.boxes.answers = {MessageBoxes::Answer::No};
        a.dialog.cmdOK->click();
        ASSERT_EQ(desk.boxes.shown.size(), 1u);
        EXPECT_EQ(desk.boxes.shown[0].text, kIncompleteQuestion);
    }
}

// Another model answers: it is taken, and OK stores it with the detected port, moving on to the CTI step.
TEST(frmAdapterDetection, AnswerAsAnotherModel)
{
    TestDesk desk = dialogDesk();
    desk.state().appState = AppStateCode::AdapterStep;
    AdapterDialog a(desk);
    desk.sim->answerAs(QStringLiteral("CTI-INS200"));
    a.detect(2, 1);
    EXPECT_EQ(std::tuple(a.dialog.lbAdapterName->text(), desk.state().adapterModel, desk.state().adapterProfile.getinfo,
                         desk.comm().reply().detectedModelIndex),
              std::tuple(QString("CTI-INS200"), QString("CTI-INS200"), QString("AT#I"), 2));

    a.dialog.cboPort->setCurrentIndex(5);
    a.dialog.cmdOK->click();
    EXPECT_EQ(std::tuple(storedPort(desk), desk.state().appState, a.dialog.isVisible()),
              std::tuple(QStringList({"True", "3", "2"}), AppStateCode::CtiStep, false));
}

// A port that does not open: its error, the device and why (also in the next dialog), nothing sent.
TEST(frmAdapterDetection, PortThatDoesNotOpen)
{
    TestDesk desk = dialogDesk();
    AdapterDialog a(desk);
    a.detect(8, 1);
    EXPECT_EQ(a.dialog.lbKenshutu->text(), QStringLiteral("ポートオープンエラー"));
    EXPECT_TRUE(AdapterDialog(desk).dialog.lbMessage->text().startsWith("/nonexistent/tty"));
    EXPECT_TRUE(a.dialog.lbMessage->text().startsWith("/nonexistent/tty")) << qPrintable(a.dialog.lbMessage->text());
    EXPECT_EQ(std::tuple(desk.comm().IsPortOpen(), desk.sim->commandsReceived(), desk.state().systemSettings.CommPort),
              std::tuple(false, QStringList(), QString()));
}

// Ten initialisation commands all go out, in order, before the identification.
TEST(frmAdapterDetection, TenInitialisationCommands)
{
    QByteArray profile = "[CTI-INS100]\n";
    QStringList expected;
    for (int i = 1; i <= 10; ++i) {
        expected << QStringLiteral("ATS%1=0").arg(i);
        profile += "icommand" + QByteArray::number(i) + "=" + expected.back().toUtf8() + "\n";
    }
    TestDesk desk = dialogDesk("CTI-INS100", "1", profile);
    ASSERT_EQ(desk.state().adapterProfile.icommandCount, 10);
    AdapterDialog a(desk);
    a.detect(2, 1);
    expected << QStringLiteral("ATI3");
    EXPECT_EQ(desk.sim->commandsReceived(), expected);
    EXPECT_EQ(a.dialog.lbKenshutu->text(), QStringLiteral("検出完了"));
}

// OK in every state: what is written, the messages, and the state code that follows.
TEST(frmAdapterStoring, OkOutcomes)
{
    const auto yes = MessageBoxes::Answer::Yes;
    const auto no = MessageBoxes::Answer::No;
    const QString insStored = QStringLiteral("アダプタ設定を登録しました。\rCTI 設定を確認してください。");
    const QString writeFailed = QStringLiteral("INIファイルの書き込みに失敗しました。");
    const QString unfinished = QStringLiteral("アダプタ設定を未完了で登録しました。");
    // clang-format off
    struct Row { const char* what; const char* model; const char* index; StateNumber appStateBefore; bool complete;
                 bool readOnly; std::vector<MessageBoxes::Answer> answers; StateNumber appStateAfter; QStringList texts;
                 bool closed; const char* commInit; }; // commInit: in the file afterwards; null: the file is unchanged
    const Row rows[] = {
        {"complete INS at start-up", "CTI-INS100", "1", 101, true, false, {}, 102, {insStored}, true, "True"},
        {"complete analog at start-up", "CTI-AN10", "3", 101, true, false, {}, 103, {QStringLiteral("アダプタ設定を登録しました。")}, true, "True"},
        {"complete INS later", "CTI-INS100", "1", 109, true, false, {}, 109, {insStored}, true, "True"},
        {"complete, standby was on", "CTI-INS100", "1", 105, true, false, {}, 109, {insStored}, true, "True"},
        {"complete, write fails", "CTI-INS100", "1", 101, true, true, {}, 101, {writeFailed}, true, nullptr},
        {"incomplete, No", "CTI-INS100", "1", 101, false, false, {no}, 101, {kIncompleteQuestion}, false, nullptr},
        {"incomplete, Yes", "CTI-INS100", "1", 101, false, false, {yes}, 103, {kIncompleteQuestion, unfinished}, true, "False"},
        {"incomplete, Yes, later", "CTI-INS100", "1", 109, false, false, {yes}, 109, {kIncompleteQuestion, unfinished}, true, "False"},
        {"incomplete, Yes, write fails", "CTI-INS100", "1", 101, false, true, {yes}, 901, {kIncompleteQuestion, writeFailed}, true, nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk = dialogDesk(row.model, row.index);
        desk.state().appState = row.appStateBefore;
        AdapterDialog a(desk);
        if (!row.complete)
            a.dialog.cboPort->setCurrentIndex(-1);
        const QByteArray before = desk.dir.settingsBytes();
        if (row.readOnly)
            desk.makeSettingsReadOnly();
        desk.boxes.answers.assign(row.answers.begin(), row.answers.end());
        a.dialog.cmdOK->click();

        QStringList texts;
        for (const auto& box : desk.boxes.shown) {
            texts << box.text;
            EXPECT_EQ(box.title, kTitle);
        }
        EXPECT_EQ(texts, row.texts);
        EXPECT_EQ(desk.state().appState, row.appStateAfter);
        EXPECT_EQ(a.dialog.isVisible(), !row.closed);
        if (!row.commInit) {
            EXPECT_EQ(desk.dir.settingsBytes(), before);
        } else {
            EXPECT_EQ(storedPort(desk),
                      QStringList({row.commInit, row.complete ? "3" : "", row.complete ? row.index : ""}));
        }
        if (row.readOnly) {
            EXPECT_EQ(desk.state().systemSettings.COMMinit, QStringLiteral("False"));
        }
    }
}

// Cancel asks only during start-up; closing reloads what detection changed in memory.
TEST(frmAdapterCancelling, AsksDuringStartUp)
{
    // clang-format off
    struct Row { StateNumber appState; std::vector<MessageBoxes::Answer> answers; std::size_t boxes; bool closed;
                 StateNumber appStateAfter; };
    const Row rows[] = {
        {101, {MessageBoxes::Answer::Cancel}, 1, false, 101},
        {101, {MessageBoxes::Answer::Ok}, 1, true, 901},
        {109, {}, 0, true, 109},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.appState << " " << row.answers.size());
        TestDesk desk = dialogDesk();
        desk.state().appState = row.appState;
        AdapterDialog a(desk);
        desk.sim->answerAs(QStringLiteral("CTI-INS200"));
        a.detect(2, 1);
        ASSERT_EQ(desk.state().adapterModel, QStringLiteral("CTI-INS200"));
        desk.boxes.answers.assign(row.answers.begin(), row.answers.end());
        a.dialog.cmdCancel->click();
        ASSERT_EQ(desk.boxes.shown.size(), row.boxes);
        if (row.boxes != 0) {
            EXPECT_EQ(desk.boxes.shown[0].text, QStringLiteral("終了します。よろしいですか？"));
            EXPECT_EQ(desk.boxes.shown[0].buttons, MessageBoxes::Buttons::OkCancel);
        }
        EXPECT_EQ(std::tuple(a.dialog.isVisible(), desk.state().appState, desk.state().adapterModel),
                  std::tuple(!row.closed, AppStateCode(row.appStateAfter),
                             QString(row.closed ? "CTI-INS100" : "CTI-INS200")));
    }
}

// Modal at start-up: Cancel confirmed ends with 901; the window manager's close keeps the step for the loop.
TEST(frmAdapterModal, EndsTheModalLoop)
{
    for (bool byWindowManager : {false, true}) {
        SCOPED_TRACE(byWindowManager);
        TestDesk desk = dialogDesk();
        desk.state().appState = AppStateCode::AdapterStep;
        frmAdapter dialog(desk.state(), desk.boxes, desk.pauser, desk.comm(), desk.window());
        QTimer::singleShot(0, &dialog, [&] { byWindowManager ? void(dialog.close()) : dialog.cmdCancel->click(); });
        dialog.exec();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(desk.state().appState, byWindowManager ? AppStateCode::AdapterStep : AppStateCode::Quit);
    }
}
