// The start-up with the program's own settings dialogs: the user meets them modally in the
// step loop, and the main window's settings buttons open them modeless, each at most once.

#include "app/Settings.h"
#include "calls/SqliteHistoryStore.h"
#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"
#include "dialogs/frmUrl.h"
#include "startup/StartupSequence.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/StateCodePrinter.h"
#include "support/TestDesk.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Outcome = StartupSequence::Outcome;
using Answer = MessageBoxes::Answer;

namespace {

// A first start's desk: the shipped settings with the trace on and `ini` over them, `model`
// on COM3, the main window loaded hidden.
TestDesk::Setup firstStart(const QByteArray& ini = {}, const char* model = "CTI-INS100", bool desktopBrowser = false)
{
    return {
        .ini = "[SYSTEM]\ndebugmode=True\n" + ini, .adapter = model, .loaded = false, .desktopBrowser = desktopBrowser};
}

// The start-up with the program's own settings dialogs, 400 ms for the adapter's reply.
Outcome runStartup(TestDesk& desk)
{
    StartupSequence startup(desk.state(), desk.boxes, desk.pauser, desk.comm(), desk.window(),
                            desk.program->stepDialogs());
    startup.setReplyWait(400ms);
    return startup.run();
}

// Acts on each modal dialog as the user would, once per dialog shown: the action for its
// object name (else a close) runs as soon as it is the active modal window.
struct ModalUser
{
    explicit ModalUser(std::map<QString, std::function<void(QWidget&)>> actions)
        : actions(std::move(actions))
    {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == current)
                return;
            current = modal;
            seen.append(modal->objectName());
            const auto action = this->actions.find(modal->objectName());
            action != this->actions.end() ? action->second(*modal) : void(modal->close());
        });
        poll.start(10);
    }
    QStringList seen;
    std::map<QString, std::function<void(QWidget&)>> actions;
    QTimer poll;
    QPointer<QWidget> current;
};

int countWindows(const char* objectName, bool visibleOnly = false)
{
    const QWidgetList all = QApplication::topLevelWidgets();
    return int(std::count_if(all.begin(), all.end(), [&](QWidget* w) {
        return w->objectName() == QLatin1String(objectName) && (w->isVisible() || !visibleOnly);
    }));
}

void settleDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// The whole first start from the shipped settings: the user detects the adapter on COM3 and
// stores it; an ISDN adapter then leads to the CTI dialog and its read-out, an analog one
// past it; the URL dialog takes the URL and the history; "はい" starts standby a second after
// the main window shows. A call then opens the desktop's browser (BROWSER, a recording
// script) at the URL with the number and adds the history row; settings.ini holds what was
// registered and is otherwise as before.
TEST(StartupDialogs, WholeFirstStart)
{
    // ctiSetting: what the CTI dialog registers from the read-out, for each port; none for analog.
    // clang-format off
    const struct { const char* model; int modelEntry; QStringList dialogs; QString storedMessage; const char* ctiSetting; } cases[] = {
        {"CTI-INS100", 1, {"frmAdapter", "frmCti", "frmUrl"}, QStringLiteral("アダプタ設定を登録しました。\rCTI 設定を確認してください。"), "0"},
        {"CTI-AN10", 3, {"frmAdapter", "frmUrl"}, QStringLiteral("アダプタ設定を登録しました。"), nullptr},
    };
    // clang-format on
    const QString url = QStringLiteral("http://crm.example.jp/customer?tel=");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        TestDesk desk(firstStart({}, c.model, true));
        const QByteArray settingsBefore = desk.dir.settingsBytes();
        // What the build and the demo put beside the program.
        ASSERT_TRUE(QDir(desk.dir.path()).mkdir(QStringLiteral("mdb")));
        const QString database = desk.dir.filePath(QStringLiteral("mdb/cti.mdb"));
        ASSERT_TRUE(createHistoryDatabase(database));
        const QString opened = desk.dir.filePath(QStringLiteral("opened"));
        const QString recorder = desk.dir.filePath(QStringLiteral("browser"));
        {
            QFile script(recorder);
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(opened) + "'\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("BROWSER", QFile::encodeName(recorder));

        ModalUser user({{QStringLiteral("frmAdapter"),
                         [&](QWidget& w) {
                             auto& d = static_cast<frmAdapter&>(w);
                             d.cboPort->setCurrentIndex(2);
                             d.cboAdapterName->setCurrentIndex(c.modelEntry);
                             d.cmdAdapter->click();
                             d.cmdOK->click();
                         }},
                        {QStringLiteral("frmCti"),
                         [](QWidget& w) {
                             auto& d = static_cast<frmCti&>(w);
                             d.cmdCti->click();
                             d.cmdOK->click();
                         }},
                        {QStringLiteral("frmUrl"), [&](QWidget& w) {
                             auto& d = static_cast<frmUrl&>(w);
                             d.chkUrl->click();
                             d.chkHist->click();
                             d.txtUrl->setText(url);
                             desk.boxes.answers = {Answer::Ok, Answer::Yes};
                             d.cmdOK->click();
                         }}});

        EXPECT_EQ(runStartup(desk), Outcome::Running);

        EXPECT_EQ(user.seen, c.dialogs);
        ASSERT_GE(desk.boxes.shown.size(), 3u);
        EXPECT_EQ(desk.boxes.shown.front().text, c.storedMessage);
        EXPECT_EQ(desk.boxes.shown.rbegin()[1].text, QStringLiteral("設定を登録しました。"));
        EXPECT_EQ(desk.boxes.shown.back().text, QStringLiteral("待ち受けを開始しますか？"));
        EXPECT_TRUE(desk.window().isVisible());
        ASSERT_TRUE(processEventsUntil([&] { return !desk.window().Timer1.isActive(); }, 3s));
        EXPECT_EQ(desk.state().appState, AppStateCode::StandbyOn);

        desk.sim->raiseCall(QStringLiteral("0312345678"));
        ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(opened) && !historyRows(database).empty(); }, 5s));
        QFile record(opened);
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        EXPECT_EQ(record.readAll(), (url + QStringLiteral("0312345678\n")).toUtf8());
        const auto rows = historyRows(database);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].first, QStringLiteral("0312345678"));

        TempAppDir expected;
        expected.writeSettings(settingsBefore);
        const SharedState registered = expected.makeState();
        WriteIni(registered, "SYSTEM", "adapter", QString::number(c.modelEntry));
        WriteIni(registered, "SYSTEM", "CommPort", "3");
        WriteIni(registered, "SYSTEM", "COMMinit", "True");
        WriteIni(registered, "SYSTEM", "URLinit", "True");
        for (int port = 1; c.ctiSetting && port <= 3; ++port)
            WriteIni(registered, "SYSTEM", QStringLiteral("ctiSettings%1").arg(port), c.ctiSetting);
        WriteIni(registered, "URL", "path1", url);
        WriteIni(registered, "URL", "path3", database);
        WriteIni(registered, "URL", "browse", "True");
        WriteIni(registered, "URL", "history", "True");
        EXPECT_EQ(QString::fromUtf8(desk.dir.settingsBytes()), QString::fromUtf8(expected.settingsBytes()));

        qunsetenv("BROWSER");
        settleDeletes();
        EXPECT_EQ(countWindows("frmAdapter") + countWindows("frmCti") + countWindows("frmUrl"), 0);
    }
}

// Cancelling the adapter dialog of a first start, confirmed, ends the program with nothing
// written; closed by the window manager, the dialog comes again.
TEST(StartupDialogs, LeavingTheAdapterStep)
{
    TestDesk desk(firstStart());
    const QByteArray settingsBefore = desk.dir.settingsBytes();
    int shown = 0;
    ModalUser user({{QStringLiteral("frmAdapter"), [&](QWidget& w) {
                         if (++shown == 1) {
                             w.close();
                         } else {
                             desk.boxes.answers = {Answer::Ok};
                             static_cast<frmAdapter&>(w).cmdCancel->click();
                         }
                     }}});

    EXPECT_EQ(runStartup(desk), Outcome::Quit);

    EXPECT_EQ(shown, 2);
    ASSERT_EQ(desk.boxes.shown.size(), 1u);
    EXPECT_EQ(desk.boxes.shown[0].text, QStringLiteral("終了します。よろしいですか？"));
    EXPECT_EQ(desk.dir.settingsBytes(), settingsBefore);
    EXPECT_FALSE(desk.window().isVisible());
}

// A configured adapter that answers as another model: the adapter step's dialog shows no
// adapter each time it comes, also after a close without OK has reloaded the file's.
TEST(StartupDialogs, AdapterStepAfterAFailedCheck)
{
    TestDesk desk(firstStart("[SYSTEM]\nadapter=1\nCommPort=3\n[URL]\npath1=http://crm/"));
    desk.sim->answerAs(QStringLiteral("CTI-INS200"));
    QStringList seen;
    desk.boxes.answers = {Answer::Ok};
    ModalUser user({{QStringLiteral("frmAdapter"), [&](QWidget& w) {
                         seen << static_cast<frmAdapter&>(w).lbKenshutu->text() + desk.state().systemSettings.CommPort;
                         seen.size() == 1 ? void(w.close()) : static_cast<frmAdapter&>(w).cmdCancel->click();
                     }}});
    EXPECT_EQ(runStartup(desk), Outcome::Quit);
    EXPECT_EQ(seen, QStringList({QStringLiteral("未設定"), QStringLiteral("未設定")}));
}

// Each settings button opens its dialog modeless through the popup; a second click brings
// the same dialog forward, and a start-up step takes its place rather than adding one.
TEST(StartupDialogs, EachDialogOnce)
{
    TestDesk desk(firstStart());
    desk.window().show();
    for (const auto& [button, dialog] : {std::pair{1, "frmAdapter"}, {2, "frmCti"}, {3, "frmUrl"}}) {
        SCOPED_TRACE(dialog);
        for (int click = 0; click < 2; ++click) {
            desk.window().cbSetting[button]->click();
            desk.window().popup().Timer1_Timer();
            EXPECT_EQ(countWindows(dialog), 1);
        }
    }
    QWidget* modeless = desk.program->openers.open(QStringLiteral("アダプタ設定"));
    ASSERT_NE(modeless, nullptr);
    EXPECT_FALSE(modeless->isModal());

    int windowsDuringStep = -1;
    ModalUser user({{QStringLiteral("frmAdapter"), [&](QWidget& w) {
                         windowsDuringStep = countWindows("frmAdapter", true);
                         static_cast<frmAdapter&>(w).cmdCancel->click();
                     }}});
    desk.state().appState = AppStateCode::StandbyOff;
    desk.program->stepDialogs().adapter();

    EXPECT_EQ(user.seen, QStringList{QStringLiteral("frmAdapter")});
    EXPECT_EQ(windowsDuringStep, 1);
    settleDeletes();
    EXPECT_EQ(countWindows("frmAdapter"), 0);
}
