// The start-up with the program's own settings dialogs: the user meets them modally in the
// step loop, and the main window's settings buttons open them modeless, each at most once.

#include "StartupRig.h"

#include "calls/SqliteHistoryStore.h"
#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"
#include "dialogs/frmUrl.h"
#include "ui/frmTerminal.h"

#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/StateCodePrinter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <functional>
#include <map>
#include <utility>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using Outcome = StartupSequence::Outcome;
using Answer = MessageBoxes::Answer;

namespace {

/// Acts on each modal dialog as the user would, once per dialog shown: the action for its
/// object name runs as soon as it is the active modal window.
class ModalUser
{
public:
    using Action = std::function<void(QWidget&)>;

    explicit ModalUser(std::map<QString, Action> actions)
        : m_actions(std::move(actions))
    {
        m_poll.setInterval(10);
        QObject::connect(&m_poll, &QTimer::timeout, [this] { look(); });
        m_poll.start();
    }

    QStringList seen;

private:
    void look()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == m_current)
            return;
        m_current = modal;
        seen.append(modal->objectName());
        const auto action = m_actions.find(modal->objectName());
        if (action != m_actions.end())
            action->second(*modal);
        else
            modal->close();
    }

    std::map<QString, Action> m_actions;
    QTimer m_poll;
    QPointer<QWidget> m_current;
};

int countWindows(const char* objectName, bool visibleOnly = false)
{
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String(objectName) && (window->isVisible() || !visibleOnly))
            ++count;
    }
    return count;
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
    struct Case
    {
        const char* model;
        int modelEntry;
        QStringList dialogs;
        QString storedMessage;
        // What the CTI dialog registers from the read-out, for each port; none for analog.
        const char* ctiSetting;
    };
    const Case cases[] = {
        {"CTI-INS100",
         1,
         {"frmAdapter", "frmCti", "frmUrl"},
         QStringLiteral("アダプタ設定を登録しました。\rCTI 設定を確認してください。"),
         "0"},
        {"CTI-AN10", 3, {"frmAdapter", "frmUrl"}, QStringLiteral("アダプタ設定を登録しました。"), nullptr},
    };
    const QString url = QStringLiteral("http://crm.example.jp/customer?tel=");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        StartupRig rig({}, QString::fromUtf8(c.model), StartupRig::Browser::Desktop);
        // What the build and the demo put beside the program.
        ASSERT_TRUE(QDir(rig.dir.path()).mkdir(QStringLiteral("mdb")));
        const QString database = rig.dir.filePath(QStringLiteral("mdb/cti.mdb"));
        ASSERT_TRUE(createHistoryDatabase(database));
        const QString opened = rig.dir.filePath(QStringLiteral("opened"));
        const QString recorder = rig.dir.filePath(QStringLiteral("browser"));
        {
            QFile script(recorder);
            ASSERT_TRUE(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" + QFile::encodeName(opened) + "'\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("BROWSER", QFile::encodeName(recorder));
        rig.useProgramDialogs();

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
                             rig.boxes.answers = {Answer::Ok, Answer::Yes};
                             d.cmdOK->click();
                         }}});

        EXPECT_EQ(rig.startup->run(), Outcome::Running);

        EXPECT_EQ(user.seen, c.dialogs);
        ASSERT_GE(rig.boxes.shown.size(), 3u);
        EXPECT_EQ(rig.boxes.shown.front().text, c.storedMessage);
        EXPECT_EQ(rig.boxes.shown.rbegin()[1].text, QStringLiteral("設定を登録しました。"));
        EXPECT_EQ(rig.boxes.shown.back().text, QStringLiteral("待ち受けを開始しますか？"));
        EXPECT_TRUE(rig.window->isVisible());
        ASSERT_TRUE(processEventsUntil([&] { return !rig.window->Timer1.isActive(); }, 3s));
        EXPECT_EQ(rig.state().appState, AppStateCode::StandbyOn);

        rig.sim->raiseCall(QStringLiteral("0312345678"));
        ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(opened) && !historyRows(database).empty(); }, 5s));
        QFile record(opened);
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        EXPECT_EQ(record.readAll(), (url + QStringLiteral("0312345678\n")).toUtf8());
        const auto rows = historyRows(database);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].first, QStringLiteral("0312345678"));

        TempAppDir expected;
        expected.writeSettings(rig.settingsBefore);
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
        EXPECT_EQ(QString::fromUtf8(rig.dir.settingsBytes()), QString::fromUtf8(expected.settingsBytes()));

        qunsetenv("BROWSER");
        settleDeletes();
        EXPECT_EQ(countWindows("frmAdapter") + countWindows("frmCti") + countWindows("frmUrl"), 0);
    }
}

// Cancelling the adapter dialog of a first start, confirmed, ends the program with nothing
// written; closed by the window manager, the dialog comes again.
TEST(StartupDialogs, LeavingTheAdapterStep)
{
    StartupRig rig({});
    rig.useProgramDialogs();
    int shown = 0;
    ModalUser user({{QStringLiteral("frmAdapter"), [&](QWidget& w) {
                         if (++shown == 1) {
                             w.close();
                         } else {
                             rig.boxes.answers = {Answer::Ok};
                             static_cast<frmAdapter&>(w).cmdCancel->click();
                         }
                     }}});

    EXPECT_EQ(rig.startup->run(), Outcome::Quit);

    EXPECT_EQ(shown, 2);
    ASSERT_EQ(rig.boxes.shown.size(), 1u);
    EXPECT_EQ(rig.boxes.shown[0].text, QStringLiteral("終了します。よろしいですか？"));
    EXPECT_EQ(rig.dir.settingsBytes(), rig.settingsBefore);
    EXPECT_FALSE(rig.window->isVisible());
}

// A configured adapter that answers as another model: the adapter step's dialog shows no
// adapter each time it comes, also after a close without OK has reloaded the file's.
TEST(StartupDialogs, AdapterStepAfterAFailedCheck)
{
    StartupRig rig({{"SYSTEM", "adapter", "1"}, {"SYSTEM", "CommPort", "3"}, {"URL", "path1", "http://crm/"}});
    rig.sim->answerAs(QStringLiteral("CTI-INS200"));
    rig.useProgramDialogs();
    QStringList seen;
    rig.boxes.answers = {Answer::Ok};
    ModalUser user({{QStringLiteral("frmAdapter"), [&](QWidget& w) {
                         seen << static_cast<frmAdapter&>(w).lbKenshutu->text() + rig.state().systemSettings.CommPort;
                         seen.size() == 1 ? void(w.close()) : static_cast<frmAdapter&>(w).cmdCancel->click();
                     }}});
    EXPECT_EQ(rig.startup->run(), Outcome::Quit);
    EXPECT_EQ(seen, QStringList({QStringLiteral("未設定"), QStringLiteral("未設定")}));
}

// Each settings button opens its dialog modeless through the popup; a second click brings
// the same dialog forward, and a start-up step takes its place rather than adding one.
TEST(StartupDialogs, EachDialogOnce)
{
    StartupRig rig({});
    rig.window->show();
    for (const auto& [button, dialog] : {std::pair{1, "frmAdapter"}, {2, "frmCti"}, {3, "frmUrl"}}) {
        SCOPED_TRACE(dialog);
        for (int click = 0; click < 2; ++click) {
            rig.window->cbSetting[button]->click();
            rig.window->popup().Timer1_Timer();
            EXPECT_EQ(countWindows(dialog), 1);
        }
    }
    QWidget* modeless = rig.program->openers.open(QStringLiteral("アダプタ設定"));
    ASSERT_NE(modeless, nullptr);
    EXPECT_FALSE(modeless->isModal());

    int windowsDuringStep = -1;
    ModalUser user({{QStringLiteral("frmAdapter"), [&](QWidget& w) {
                         windowsDuringStep = countWindows("frmAdapter", true);
                         static_cast<frmAdapter&>(w).cmdCancel->click();
                     }}});
    rig.state().appState = AppStateCode::StandbyOff;
    rig.program->stepDialogs().adapter();

    EXPECT_EQ(user.seen, QStringList{QStringLiteral("frmAdapter")});
    EXPECT_EQ(windowsDuringStep, 1);
    settleDeletes();
    EXPECT_EQ(countWindows("frmAdapter"), 0);
}
