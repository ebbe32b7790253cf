// The start-up with the program's own settings dialogs: the user meets them modally in the
// step loop, and the main window's settings buttons open them modeless, each at most once.

#include "StartupRig.h"

#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"
#include "ui/frmTerminal.h"

#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"

#include <QApplication>
#include <QTimer>

#include <functional>
#include <map>

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

// A first start: the user detects the adapter on COM3 and stores it; an ISDN adapter then
// leads to the CTI dialog, an analog one past it. Both end in the main window with what was
// detected in settings.ini.
TEST(StartupDialogs, FirstStartThroughTheDialogs)
{
    struct Case
    {
        const char* model;
        int modelEntry;
        QStringList dialogs;
        QString storedMessage;
    };
    const Case cases[] = {
        {"CTI-INS100",
         1,
         {"frmAdapter", "frmCti"},
         QStringLiteral("アダプタ設定を登録しました。\rCTI 設定を確認してください。")},
        {"CTI-AN10", 3, {"frmAdapter"}, QStringLiteral("アダプタ設定を登録しました。")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        StartupRig rig({}, QString::fromUtf8(c.model));
        rig.useProgramDialogs();
        ModalUser user({{QStringLiteral("frmAdapter"),
                         [&](QWidget& w) {
                             auto& d = static_cast<frmAdapter&>(w);
                             d.cboPort->setCurrentIndex(2);
                             d.cboAdapterName->setCurrentIndex(c.modelEntry);
                             d.cmdAdapter->click();
                             d.cmdOK->click();
                         }},
                        {QStringLiteral("frmCti"), [](QWidget& w) {
                             static_cast<frmCti&>(w).cmdOK->click();
                         }}});

        EXPECT_EQ(rig.startup->run(), Outcome::Running);

        EXPECT_EQ(user.seen, c.dialogs);
        ASSERT_FALSE(rig.boxes.shown.empty());
        EXPECT_EQ(rig.boxes.shown[0].text, c.storedMessage);
        EXPECT_EQ(ReadIni(rig.state(), "SYSTEM", "adapter"), QString::number(c.modelEntry));
        EXPECT_EQ(ReadIni(rig.state(), "SYSTEM", "CommPort"), QStringLiteral("3"));
        EXPECT_EQ(ReadIni(rig.state(), "SYSTEM", "COMMinit"), QStringLiteral("True"));
        EXPECT_TRUE(rig.window->isVisible());
        settleDeletes();
        EXPECT_EQ(countWindows("frmAdapter") + countWindows("frmCti"), 0);
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

// The settings buttons open the dialogs modeless through the popup; a second click brings
// the same dialog forward, and a start-up step takes its place rather than adding one.
TEST(StartupDialogs, EachDialogOnce)
{
    StartupRig rig({});
    rig.window->show();
    for (int click = 0; click < 2; ++click) {
        rig.window->cbSetting[1]->click();
        rig.window->popup().Timer1_Timer();
        EXPECT_EQ(countWindows("frmAdapter"), 1);
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
