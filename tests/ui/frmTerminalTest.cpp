#include "app/Settings.h"
#include "history/CallEventStore.h"
#include "history/SqliteHistoryStore.h"
#include "ui/Pictures.h"
#include "ui/frmMessage.h"

#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/TestDesk.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>

using namespace std::chrono_literals;

namespace {

const QString kOn = QStringLiteral("待ち受け停止");
const QString kOff = QStringLiteral("待ち受け開始");

// The CTI-INS100 on COM3 and selected, `more` written after; [SYSTEM] names icon files tests paint where they look.
TestDesk::Setup ins100(const QByteArray& more = {})
{
    return {.ini =
                "[SYSTEM]\nadapter=1\nCommPort=3\niconFile=\\app.png\niconFile_on=\\on.png\niconFile_off=\\off.png\n" +
                more,
            .adapter = "CTI-INS100"};
}

// The main window, loaded once iconFile is blue, iconFile_on green and iconFile_off red.
frmTerminal& paintedWindow(TestDesk& desk)
{
    desk.paint("app.png", Qt::blue);
    desk.paint("on.png", Qt::green);
    desk.paint("off.png", Qt::red);
    return desk.window();
}

// Both standby captions, the state codes, the port and the watchdog as they are now.
auto standby(TestDesk& desk)
{
    return std::tuple(desk.window().cbMachiuke->text(), desk.window().mnuMachiuke->text(), desk.state().appState,
                      desk.state().rcvMode, desk.comm().IsPortOpen(), desk.comm().isWatchdogRunning());
}

// A settings dialog that notes whether the port was still open when it was closed.
struct NotingDialog final : QWidget
{
    explicit NotingDialog(const frmComm& comm)
        : m_comm(comm)
    {}
    void closeEvent(QCloseEvent*) override { portOpenAtClose = m_comm.IsPortOpen(); }
    const frmComm& m_comm;
    bool portOpenAtClose = false;
};

} // namespace

// Start and stop: captions, state codes, port, watchdog, and the tray's icon replaced by the state's each time.
TEST(frmTerminalStandby, StartThenStop)
{
    TestDesk desk(ins100());
    frmTerminal& w = paintedWindow(desk);
    w.cbMachiuke->click();
    // The watchdog runs: the shipped CTI-INS100 profile has watch=True.
    EXPECT_EQ(standby(desk), std::tuple(kOn, kOn, AppStateCode::StandbyOn, RcvMode::Idle, true, true));
    EXPECT_EQ(pictureOf(w.windowIcon()), desk.filePicture("on.png"));
    EXPECT_EQ(desk.tray.events, QStringList({"add"}));
    EXPECT_EQ(pictureOf(desk.tray.icon), pictureOf(builtInStandbyOnIcon()));
    EXPECT_EQ(desk.tray.tip, QStringLiteral("着信"));

    w.mnuMachiuke->trigger();
    EXPECT_EQ(standby(desk), std::tuple(kOff, kOff, AppStateCode::StandbyOff, RcvMode::Initial, false, false));
    EXPECT_EQ(pictureOf(w.windowIcon()), desk.filePicture("off.png"));
    EXPECT_EQ(desk.tray.events, QStringList({"add", "remove", "add"}));
    EXPECT_EQ(pictureOf(desk.tray.icon), desk.filePicture("off.png"));
    EXPECT_TRUE(desk.boxes.shown.empty());
    for (QPushButton* button : w.findChildren<QPushButton*>())
        EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
}

// A failed start keeps the caption, says why (a device named on a second line), and puts the off icon in the tray.
TEST(frmTerminalStandby, StartThatFails)
{
    using Icon = MessageBoxes::Icon;
    // clang-format off
    const struct { const char* what; const char* commPort; const char* message; Icon icon; StateNumber appState, rcvMode; } rows[] = {
        {"no port configured", "", "アダプタ設定が完了していません。", Icon::Critical, AppStateCode::StandbyOff, RcvMode::Initial},
        {"a port that cannot be opened", "9", "ポートオープンエラー", Icon::None, AppStateCode::AdapterFault, RcvMode::Idle},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TestDesk desk(ins100(QByteArray("CommPort=") + row.commPort + "\n[PORTS]\nCOM9=/nonexistent/tty\n"));
        frmTerminal& w = paintedWindow(desk);
        w.cbMachiuke->click();
        ASSERT_EQ(desk.boxes.shown.size(), 1u);
        const QStringList lines = desk.boxes.shown[0].text.split(u'\n');
        EXPECT_EQ(std::tuple(lines[0], lines.size() == 2 && lines[1].startsWith("/nonexistent/tty"),
                             desk.boxes.shown[0].title, desk.boxes.shown[0].icon),
                  std::tuple(QString(row.message), *row.commPort != '\0', QString("着信"), row.icon));
        EXPECT_EQ(
            std::tuple(w.cbMachiuke->text(), desk.state().appState, desk.state().rcvMode, desk.comm().IsPortOpen()),
            std::tuple(kOff, AppStateCode(row.appState), RcvMode(row.rcvMode), false));
        EXPECT_EQ(desk.tray.events, QStringList({"add"}));
        EXPECT_EQ(pictureOf(desk.tray.icon), desk.filePicture("off.png"));
    }
}

// The watchdog giving up on a silent adapter shows standby off in both captions and the tray.
TEST(frmTerminalStandby, WatchdogEndingStandby)
{
    TestDesk desk(ins100());
    frmTerminal& w = paintedWindow(desk);
    w.cbMachiuke->click();
    desk.sim->setSilent(true);
    for (int tick = 0; tick < 1 + frmComm::kUnansweredPolls; ++tick)
        desk.comm().watchTimer_Timer();
    EXPECT_EQ(std::tuple(desk.state().appState, w.cbMachiuke->text(), w.mnuMachiuke->text(), desk.comm().IsPortOpen()),
              std::tuple(AppStateCode::AdapterFault, kOff, kOff, false));
    EXPECT_EQ(desk.tray.events, QStringList({"add", "remove", "add"}));
    EXPECT_EQ(pictureOf(desk.tray.icon), desk.filePicture("off.png"));
}

// The start timer waits for appState 105, starts standby, stops; the guard acts only during identification.
TEST(frmTerminalTimers, StartTimerAndIdentificationGuard)
{
    TestDesk desk(ins100());
    desk.window().Timer1.start();
    desk.window().Timer1_Timer();
    EXPECT_TRUE(desk.window().Timer1.isActive());
    EXPECT_EQ(desk.window().cbMachiuke->text(), kOff);
    desk.state().appState = AppStateCode::StandbyOn;
    desk.window().Timer1_Timer();
    EXPECT_FALSE(desk.window().Timer1.isActive());
    EXPECT_EQ(desk.window().cbMachiuke->text(), kOn);
    EXPECT_TRUE(desk.comm().IsPortOpen());

    const RcvMode guarded[][2] = {
        {RcvMode::Initial, RcvMode::Guarded}, {RcvMode::GetAInfo, RcvMode::GetAInfo}, {RcvMode::Idle, RcvMode::Idle}};
    for (const auto& [before, after] : guarded) {
        TestDesk guard(ins100());
        EXPECT_EQ(std::tuple(guard.window().waitTimer.isActive(), guard.window().waitTimer.interval()),
                  std::tuple(true, 10000));
        guard.state().rcvMode = before;
        guard.window().waitTimer_Timer();
        EXPECT_EQ(std::tuple(guard.state().rcvMode, guard.window().waitTimer.isActive()), std::tuple(after, false));
    }
}

// The debug switch needs Alt, writes the opposite of the value loaded at start, and never announces a failed write.
TEST(frmTerminalDebugSwitch, AltDoubleClickOnThePicture)
{
    // clang-format off
    const struct { const char* loaded; const char* written; const char* message; } rows[] = {
        {"True", "False", "次回起動時に通常モードに戻します。"},
        {"False", "True", "次回起動時にデバッグモードにします。"},
        {"", "True", "次回起動時にデバッグモードにします。"},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.loaded);
        TestDesk desk(ins100(QByteArray("debugmode=") + row.loaded));
        QTest::mouseDClick(desk.window().ImgCti, Qt::LeftButton, Qt::NoModifier);
        EXPECT_EQ(ReadIni(desk.state(), "SYSTEM", "debugmode"), QString::fromUtf8(row.loaded));
        EXPECT_FALSE(desk.window().popup().isVisible());
        for (int i = 0; i < 2; ++i) {
            QTest::mouseDClick(desk.window().ImgCti, Qt::LeftButton, Qt::AltModifier);
            const frmMessage& popup = desk.window().popup();
            EXPECT_EQ(std::tuple(ReadIni(desk.state(), "SYSTEM", "debugmode"), popup.lbMsg->text(), popup.isVisible(),
                                 popup.Timer1.interval()),
                      std::tuple(QString(row.written), QString(row.message), true, 3000));
        }
        // The height follows the mode loaded at start: the debug row shows whole or not at all.
        const bool debug = row.loaded == std::string("True");
        const QRect window = desk.window().rect();
        EXPECT_EQ(std::tuple(window.contains(desk.window().txtTerm->geometry()),
                             window.intersects(desk.window().txtRecvData->geometry())),
                  std::tuple(debug, debug));
    }

    TestDesk unwritable(ins100());
    frmTerminal& w = unwritable.window(); // loaded while the file is still there
    QFile::remove(unwritable.dir.settingsPath());
    QDir(unwritable.dir.path()).mkdir(QStringLiteral("settings.ini"));
    QTest::mouseDClick(w.ImgCti, Qt::LeftButton, Qt::AltModifier);
    ASSERT_EQ(unwritable.boxes.shown.size(), 1u);
    EXPECT_EQ(unwritable.boxes.shown[0].text, QStringLiteral("INIファイルの書き込みに失敗しました。"));
    EXPECT_FALSE(w.popup().isVisible());
}

// The debug terminal: port open, typing goes to the adapter and the box shows its replies; closed, it edits locally.
TEST(frmTerminalDebugTerminal, TypingGoesToTheAdapter)
{
    TestDesk desk(ins100("debugmode=True"));
    QTest::keyClicks(desk.window().txtTerm, QStringLiteral("ab"));
    EXPECT_EQ(desk.window().txtTerm->toPlainText(), QStringLiteral("ab"));

    desk.window().cbMachiuke->click();
    desk.comm().stopWatchdog(); // its polls would be answered into the terminal too
    EXPECT_TRUE(desk.window().txtTerm->toPlainText().isEmpty()) << "the toggle clears the terminal";
    QTest::keyClicks(desk.window().txtTerm, QStringLiteral("ATZ"));
    QTest::keyClick(desk.window().txtTerm, Qt::Key_Return);
    ASSERT_TRUE(processEventsUntil([&] { return !desk.sim->commandsReceived().isEmpty(); }, 5s));
    EXPECT_EQ(desk.sim->commandsReceived(), QStringList{"ATZ"});
    ASSERT_TRUE(processEventsUntil([&] { return !desk.window().txtTerm->toPlainText().isEmpty(); }, 5s));
    const QString shown = desk.window().txtTerm->toPlainText();
    EXPECT_EQ(std::tuple(shown.contains("ATZ"), shown.startsWith("0"), desk.window().txtTerm->textCursor().position()),
              std::tuple(false, true, shown.size()))
        << shown.toStdString();

    // Editing keys edit the box as usual, Delete too, although X11 gives it a character.
    desk.window().txtTerm->moveCursor(QTextCursor::Start);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(desk.window().txtTerm, &del);
    EXPECT_EQ(desk.window().txtTerm->toPlainText(), shown.mid(1));
}

// Exit by button (with the popup) or tray menu: tray icon first, dialogs before the port, the program told to end.
TEST(frmTerminalExit, ByButtonAndByTrayMenu)
{
    for (const bool byButton : {true, false}) {
        SCOPED_TRACE(byButton ? "button" : "tray menu");
        TestDesk desk(ins100());
        desk.window().show();
        desk.window().cbMachiuke->click();
        NotingDialog dialog(desk.comm());
        desk.program->openers.setOpener(QStringLiteral("CTI設定"), [&] { return &dialog; });
        desk.program->openers.open(QStringLiteral("CTI設定"));
        QSignalSpy ended(&desk.window(), &frmTerminal::unloaded);
        bool trayShownAtPause = true;
        bool portOpenAtPause = false;
        desk.pauser.onPause = [&](std::chrono::milliseconds duration) {
            if (duration == 1000ms) {
                trayShownAtPause = desk.tray.shown;
                portOpenAtPause = desk.comm().IsPortOpen();
            }
        };
        byButton ? desk.window().cbExit->click() : desk.window().mnuExit->trigger();
        EXPECT_EQ(desk.window().popup().lbMsg->text(), byButton ? QStringLiteral("終了しています・・・") : QString());
        // The dialog closes while the port is still open: the serial link goes last.
        EXPECT_EQ(std::tuple(trayShownAtPause, portOpenAtPause, desk.comm().IsPortOpen(), desk.tray.shown,
                             desk.window().isVisible(), desk.window().popup().isVisible(), dialog.isVisible(),
                             dialog.portOpenAtClose, ended.count()),
                  std::tuple(false, true, false, false, false, false, false, true, 1));
        // Unloaded, the window is no longer the link's: a later refresh leaves it alone.
        desk.window().setMachiukeCaption(QStringLiteral("unloaded"));
        desk.comm().UpdateStandbyStatus();
        EXPECT_EQ(desk.window().cbMachiuke->text(), QStringLiteral("unloaded"));
    }
}

// The window manager's close button runs the same unload and cannot be refused.
TEST(frmTerminalExit, CloseButtonUnloads)
{
    TestDesk desk(ins100());
    desk.window().show();
    QSignalSpy ended(&desk.window(), &frmTerminal::unloaded);
    EXPECT_TRUE(desk.window().close());
    ASSERT_FALSE(desk.pauser.pauses.empty());
    EXPECT_EQ(std::tuple(ended.count(), desk.tray.events, desk.pauser.pauses.front()),
              std::tuple(1, QStringList(), 1000ms));
}

// Only a right click pops up the tray menu; hiding keeps the icon, or minimises without a notification area.
TEST(frmTerminalTray, MenuAndHiding)
{
    TestDesk desk(ins100());
    desk.window().show();
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick})
        desk.tray.click(reason);
    EXPECT_FALSE(desk.window().mnuContext->isVisible());
    desk.tray.click(QSystemTrayIcon::Context);
    EXPECT_TRUE(desk.window().mnuContext->isVisible());
    desk.window().mnuContext->close();

    desk.window().cbMachiuke->click();
    desk.window().cbMenteEnd->click();
    EXPECT_FALSE(desk.window().isVisible());
    EXPECT_EQ(desk.tray.events, QStringList({"add"}));
    EXPECT_EQ(pictureOf(desk.tray.icon), pictureOf(builtInStandbyOnIcon()));
    desk.window().mnuSettings->trigger();
    EXPECT_TRUE(desk.window().isVisible());

    TestDesk noTray(ins100());
    noTray.tray.available = false;
    noTray.window().show();
    noTray.window().cbMenteEnd->click();
    EXPECT_EQ(std::tuple(noTray.window().isVisible(), noTray.window().isMinimized(), noTray.tray.events),
              std::tuple(true, true, QStringList({"add"})));
}

// Icon files that cannot be read give the built-in picture, without a message.
TEST(frmTerminalBadInput, IconFiles)
{
    for (const QByteArray path : {"\\missing.png", "", "\\", "\\settings.ini"}) {
        SCOPED_TRACE(path.constData());
        TestDesk desk(ins100("iconFile=" + path + "\niconFile_on=" + path + "\niconFile_off=" + path));
        const QImage builtIn = pictureOf(builtInWindowIcon());
        EXPECT_EQ(pictureOf(desk.window().windowIcon()), builtIn);
        desk.window().cbMachiuke->click();
        EXPECT_EQ(pictureOf(desk.window().windowIcon()), builtIn);
        desk.window().cbMachiuke->click();
        EXPECT_EQ(pictureOf(desk.tray.icon), builtIn);
        EXPECT_TRUE(desk.boxes.shown.empty());
    }
}

// Odd titles still caption the window, tray tip and boxes; a `watch` that is not a boolean leaves the watchdog off.
TEST(frmTerminalBadInput, TitlesAndWatch)
{
    for (const QString& title : {QString(), QString(300, QChar(u'着')), QStringLiteral("着信🙂Ω€")}) {
        TestDesk desk(ins100("appName=" + title.toUtf8() + "\nCommPort="));
        EXPECT_EQ(desk.window().windowTitle(), title);
        desk.window().cbMachiuke->click();
        EXPECT_EQ(desk.tray.tip, title);
        ASSERT_EQ(desk.boxes.shown.size(), 1u);
        EXPECT_EQ(desk.boxes.shown[0].title, title);
    }
    TestDesk desk(ins100("[CTI-INS100]\nwatch=yes"));
    desk.window().cbMachiuke->click();
    EXPECT_EQ(std::tuple(desk.window().cbMachiuke->text(), desk.comm().isWatchdogRunning()), std::tuple(kOn, false));
}

// The tray tells today's waiting calls once the history has events: none of it without them, then the tip's line, the
// menu's two entries and the icon's badge, which goes when nothing waits.
TEST(frmTerminalTray, TodaysWaitingCalls)
{
    TestDesk desk({.ini = "[DESK]\nperson=佐藤\n[URL]\nhistory=True\npath3={dir}/calls.db\n"});
    frmTerminal& window = desk.window();
    window.setTaskTray(window.mnuMachiuke->text());
    const QString plainTip = desk.tray.tip;
    const QImage plain = desk.tray.icon.pixmap(64).toImage();
    EXPECT_FALSE(window.mnuOpenCalls->isVisible() || window.mnuMessages->isVisible());

    const QString path = desk.dir.filePath("calls.db");
    ASSERT_TRUE(createHistoryDatabase(path));
    for (int i = 0; i < 2; ++i) {
        HistoryRow row{"0312345678", QDateTime::currentDateTime()};
        ASSERT_EQ(SqliteHistoryStore(path).append(row), HistoryStore::Outcome::Written);
    }
    ASSERT_TRUE(
        CallEventStore(path).add({.callId = 1, .kind = CallEvent::Kind::Message, .person = "田中", .to = "佐藤"}));
    desk.program->events.setTiming({.retry = 100ms, .recount = 100ms});
    desk.program->openPhoneBookDatabase();
    ASSERT_TRUE(processEventsUntil([&] { return desk.program->events.counts() == CallCounts{1, 1}; }, 5s));
    EXPECT_EQ(desk.tray.tip, plainTip + "\n未対応 1件・伝言 1件");
    EXPECT_EQ(window.mnuOpenCalls->text() + u'|' + window.mnuMessages->text(), "未対応 1件|伝言 1件");
    EXPECT_TRUE(window.mnuOpenCalls->isVisible() && window.mnuMessages->isVisible());
    EXPECT_NE(desk.tray.icon.pixmap(64).toImage(), plain);

    desk.program->events.markDone({1});
    desk.program->events.claim({2});
    ASSERT_TRUE(processEventsUntil([&] { return desk.program->events.counts() == CallCounts{0, 0}; }, 5s));
    EXPECT_EQ(desk.tray.icon.pixmap(64).toImage(), plain);
}
