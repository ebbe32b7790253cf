// Every way of closing the settings dialogs, made as the program makes them (deleted when
// closed); the sanitizer suite catches a handler that touches its dialog after deletion.

#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"

#include "app/Settings.h"

#include "support/TestDesk.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// The shipped settings with CTI-INS100 simulated on COM3 as adapter 1, COMMinit True; COM9 is
// a port whose device does not exist.
const TestDesk::Setup kSetup{.ini = "[SYSTEM]\nadapter=1\nCommPort=3\nCOMMinit=True\n[PORTS]\nCOM9=/nonexistent/tty\n",
                             .adapter = "CTI-INS100"};

// The dialog `name` opened as the program opens it, from the openers of the loaded main window.
QPointer<QDialog> open(TestDesk& desk, const char* name)
{
    desk.window();
    return qobject_cast<QDialog*>(desk.program->openers.open(QString::fromUtf8(name)));
}

bool matchesFile(TestDesk& desk)
{
    SharedState file = desk.dir.makeState();
    ReadWriteAppSettings(file, QStringLiteral("READ"));
    LoadSettings(file);
    const SharedState& state = desk.state();
    return file.systemSettings == state.systemSettings && file.urlSettings == state.urlSettings &&
           file.adapterProfile == state.adapterProfile && file.adapterModel == state.adapterModel;
}

void click(QDialog& dialog, const char* button)
{
    dialog.findChild<QAbstractButton*>(button)->click();
}

using Closer = void (*)(TestDesk&, QDialog&, const QString&);
// The ways of closing, and whether each is a request carried out once the dialog is no longer busy
// (the others are refused while it is busy).
// clang-format off
const std::tuple<const char*, Closer, bool> kWays[] = {
    {"close button", [](TestDesk&, QDialog& d, const QString&) { d.windowHandle()->close(); }, true},
    {"Escape", [](TestDesk&, QDialog& d, const QString&) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
    {"reject()", [](TestDesk&, QDialog& d, const QString&) { d.reject(); }, false},
    {"done()", [](TestDesk&, QDialog& d, const QString&) { d.done(QDialog::Accepted); }, false},
    {"unload", [](TestDesk& desk, QDialog&, const QString&) { desk.window().close(); }, true},
    {"replaced by the start-up's", [](TestDesk& desk, QDialog&, const QString& name) {
         QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
         desk.program->openers.exec(name); }, true},
};
// clang-format on

} // namespace

// Idle, any close but OK's reloads what memory changed; busy, the handler ends first, then a close request.
TEST(DialogClosing, EveryWayIdleAndBusy)
{
    // clang-format off
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"アダプタ設定", "cmdAdapter", false}, {"CTI設定", "cmdCti", false}, {"着信時の動作設定", "chkUrl", false},
        {"アダプタ設定", "cmdAdapter", true}, {"CTI設定", "cmdCti", true}, {"CTI設定", "cmdCtiSetting", true}};
    // clang-format on
    for (const auto& [name, button, busy] : rows) {
        for (const auto& [way, close, request] : kWays) {
            if (!busy && std::string(way) == "done()")
                continue;
            SCOPED_TRACE(testing::Message() << button << (busy ? " busy, " : " idle, ") << way);
            TestDesk desk(kSetup);
            desk.sim->setCtiPorts({true, false, true});
            QPointer<QDialog> dialog = open(desk, name);
            if (auto* adapter = qobject_cast<frmAdapter*>(dialog); adapter && !busy)
                adapter->cboPort->setCurrentIndex(8);
            if (!busy) {
                click(*dialog, button);
                ASSERT_FALSE(matchesFile(desk));
                close(desk, *dialog, QString::fromUtf8(name));
                EXPECT_TRUE(matchesFile(desk));
            } else {
                bool asked = false;
                desk.pauser.onPause = [&](std::chrono::milliseconds pause) {
                    const auto expire = [](auto* d) {
                        if (d && d->waitTimer.isActive())
                            d->waitTimer_Timer();
                    };
                    if (!asked && (pause == frmComm::kCommandPause || pause == frmComm::kReplyPoll)) {
                        asked = true;
                        close(desk, *dialog, QString::fromUtf8(name));
                    } else if (pause == frmComm::kReplyPoll && !desk.comm().IsPortOpen()) {
                        // The port was closed under the wait: it ends as its timer would.
                        expire(qobject_cast<frmAdapter*>(dialog));
                        expire(qobject_cast<frmCti*>(dialog));
                    }
                };
                click(*dialog, button);
                ASSERT_TRUE(asked && dialog) << "deleted under its handler";
                EXPECT_TRUE(dialog->findChild<QPushButton*>("cmdCancel")->isEnabled()) << "the handler did not end";
                EXPECT_EQ(dialog->isVisible(), !request);
                EXPECT_TRUE(!request || matchesFile(desk));
                desk.pauser.onPause = nullptr;
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_EQ(dialog.isNull(), !busy || request);
        }
    }
}

// The program ending under a dialog's own box deletes the dialog; its handler then does no more.
TEST(DialogClosing, DeletedUnderItsOwnBox)
{
    for (const auto& [name, button] :
         {std::pair{"アダプタ設定", "cmdCancel"}, {"CTI設定", "cmdOK"}, {"着信時の動作設定", "cmdOK"}}) {
        SCOPED_TRACE(name);
        TestDesk desk(kSetup);
        desk.state().appState = AppStateCode::AdapterStep;
        QPointer<QDialog> dialog = open(desk, name);
        desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
            desk.window().close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        click(*dialog, button);
        EXPECT_FALSE(dialog);
        EXPECT_EQ(desk.boxes.shown.size(), 1u);
        EXPECT_EQ(desk.state().appState, AppStateCode::AdapterStep);
    }
}
