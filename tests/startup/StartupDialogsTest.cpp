// The start-up with the program's own settings dialogs: modal in the step loop, modeless from the buttons, once each.

#include "app/Settings.h"
#include "history/SqliteHistoryStore.h"
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
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Outcome = StartupSequence::Outcome;
using Answer = MessageBoxes::Answer;

namespace {

// A first start's desk: shipped settings, trace on, `ini` over them, `model` on COM3, the main window hidden.
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

// Acts once on each modal dialog shown: the action for its object name (else a close) as soon as it is active.
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

} // namespace

// A whole first start: adapter detected and stored, CTI read out (ISDN only), URL and history set, standby on;
// a call then opens BROWSER (a recording script) and adds its row; settings.ini changes only by what was registered.
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
        const auto& boxes = desk.boxes.shown;
        EXPECT_EQ(QStringList({boxes.front().text, boxes.rbegin()[1].text, boxes.back().text}),
                  QStringList({c.storedMessage, "設定を登録しました。", "待ち受けを開始しますか？"}));
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
        for (const auto& [key, value] : {std::pair<QString, QString>{"adapter", QString::number(c.modelEntry)},
                                         {"CommPort", "3"},
                                         {"COMMinit", "True"},
                                         {"URLinit", "True"}})
            WriteIni(registered, "SYSTEM", key, value);
        for (int port = 1; c.ctiSetting && port <= 3; ++port)
            WriteIni(registered, "SYSTEM", QStringLiteral("ctiSettings%1").arg(port), c.ctiSetting);
        for (const auto& [key, value] :
             {std::pair<QString, QString>{"path1", url}, {"path3", database}, {"browse", "True"}, {"history", "True"}})
            WriteIni(registered, "URL", key, value);
        EXPECT_EQ(QString::fromUtf8(desk.dir.settingsBytes()), QString::fromUtf8(expected.settingsBytes()));

        qunsetenv("BROWSER");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(countWindows("frmAdapter") + countWindows("frmCti") + countWindows("frmUrl"), 0);
    }
}

// The adapter dialog's confirmed Cancel ends a first start with nothing written; a window-manager close shows it again.
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

    ASSERT_EQ(desk.boxes.shown.size(), 1u);
    EXPECT_EQ(std::tuple(shown, desk.boxes.shown[0].text, desk.dir.settingsBytes(), desk.window().isVisible()),
              std::tuple(2, QString("終了します。よろしいですか？"), settingsBefore, false));
}

// An adapter answering as another model: the adapter step shows none each time, also after a reloading close.
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

// Each settings button opens its dialog modeless, a second click the same one; a start-up step replaces it.
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

    EXPECT_EQ(std::tuple(user.seen, windowsDuringStep), std::tuple(QStringList{"frmAdapter"}, 1));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(countWindows("frmAdapter"), 0);
}
