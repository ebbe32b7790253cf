// Every way of closing the three settings dialogs, idle and while they talk to the adapter,
// with the dialogs made as the program makes them (deleted when closed). Run under
// AddressSanitizer too: a handler that touches its dialog after it was deleted is caught there.

#include "dialogs/frmAdapter.h"
#include "dialogs/frmCti.h"
#include "dialogs/frmUrl.h"
#include "startup/Program.h"

#include "DialogRig.h"
#include "support/ScriptedFileChooser.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

enum class Close
{
    WindowManager,
    Escape,
    Reject,
    Done,
    Unload,
    Replaced
};
enum class Work
{
    None,
    Detection,
    ReadOut,
    Send
};

const char* const kAdapter = "アダプタ設定";
const char* const kCti = "CTI設定";
const char* const kUrl = "着信時の動作設定";

// The settings in memory are those of settings.ini.
bool matchesFile(const DialogDesk& desk)
{
    SharedState file = desk.dir.makeState();
    ReadWriteAppSettings(file, QStringLiteral("READ"));
    LoadSettings(file);
    const SharedState& memory = desk.state;
    return file.systemSettings == memory.systemSettings && file.urlSettings == memory.urlSettings &&
           file.adapterProfile == memory.adapterProfile && file.adapterModel == memory.adapterModel;
}

struct ClosingDesk : DialogDesk
{
    ClosingDesk()
    {
        registerSettingsDialogs(openers, state, boxes, pauser, *comm, *window, chooser);
        sim->setCtiPorts({true, false, true});
    }

    QDialog* open(const char* name) { return qobject_cast<QDialog*>(openers.open(QString::fromUtf8(name))); }

    void close(Close way, QDialog& dialog, const char* name)
    {
        switch (way) {
        case Close::WindowManager:
            dialog.windowHandle()->close();
            break;
        case Close::Escape:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        case Close::Reject:
            dialog.reject();
            break;
        case Close::Done:
            dialog.done(QDialog::Accepted);
            break;
        case Close::Unload:
            window->close();
            break;
        case Close::Replaced:
            // The start-up's step; its dialog is closed as soon as it shows.
            QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
            openers.exec(QString::fromUtf8(name));
            break;
        }
    }

    // A reply wait whose port was closed under it expires at its first poll, as its timer would.
    void expireWait(QDialog* dialog)
    {
        if (auto* adapter = qobject_cast<frmAdapter*>(dialog); adapter && adapter->waitTimer.isActive())
            adapter->waitTimer_Timer();
        if (auto* cti = qobject_cast<frmCti*>(dialog); cti && cti->waitTimer.isActive())
            cti->waitTimer_Timer();
    }

    ScriptedFileChooser chooser;
};

// What the user does in the dialog that changes the settings in memory without registering
// them: a detection on a port that does not open, a read-out, a check box.
void changeInMemory(QDialog& dialog)
{
    if (auto* adapter = qobject_cast<frmAdapter*>(&dialog)) {
        adapter->cboPort->setCurrentIndex(8);
        adapter->cmdAdapter->click();
    } else if (auto* cti = qobject_cast<frmCti*>(&dialog)) {
        cti->cmdCti->click();
    } else {
        static_cast<frmUrl&>(dialog).chkUrl->click();
    }
}

void startWork(Work work, QDialog& dialog)
{
    if (work == Work::Detection)
        static_cast<frmAdapter&>(dialog).cmdAdapter->click();
    else if (work == Work::ReadOut)
        static_cast<frmCti&>(dialog).cmdCti->click();
    else
        static_cast<frmCti&>(dialog).cmdCtiSetting->click();
}

} // namespace

// Idle, every way of closing without OK or Cancel leaves the settings in memory as the file
// has them (a failed detection no longer leaves CommPort empty while the file holds 3), and
// the dialog goes.
TEST(DialogClosing, IdleRestoresTheFile)
{
    for (const char* name : {kAdapter, kCti, kUrl}) {
        for (Close way : {Close::WindowManager, Close::Escape, Close::Reject, Close::Unload, Close::Replaced}) {
            SCOPED_TRACE(testing::Message() << name << " " << int(way));
            ClosingDesk desk;
            QPointer<QDialog> dialog = desk.open(name);
            ASSERT_TRUE(dialog);
            changeInMemory(*dialog);
            ASSERT_FALSE(matchesFile(desk));
            desk.close(way, *dialog, name);
            EXPECT_TRUE(matchesFile(desk));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(dialog);
        }
    }
}

// While a detection, a read-out or a send runs, no way of closing succeeds: the dialog
// outlives its handler, which runs to its end. Escape, reject() and done() are refused; a
// close request (the window's ×, the program's unload, the start-up replacing it) is carried
// out when the handler has ended, and leaves the settings as the file has them.
TEST(DialogClosing, BusyOutlivesItsHandler)
{
    const std::pair<const char*, Work> works[] = {
        {kAdapter, Work::Detection}, {kCti, Work::ReadOut}, {kCti, Work::Send}};
    for (const auto& [name, work] : works) {
        for (Close way :
             {Close::WindowManager, Close::Escape, Close::Reject, Close::Done, Close::Unload, Close::Replaced}) {
            SCOPED_TRACE(testing::Message() << int(work) << " " << int(way));
            ClosingDesk desk;
            QPointer<QDialog> dialog = desk.open(name);
            ASSERT_TRUE(dialog);
            if (work == Work::Detection) {
                static_cast<frmAdapter&>(*dialog).cboPort->setCurrentIndex(2);
                static_cast<frmAdapter&>(*dialog).cboAdapterName->setCurrentIndex(1);
            }
            bool asked = false;
            desk.pauser.onPause = [&](std::chrono::milliseconds pause) {
                if (!asked && (pause == frmComm::kCommandPause || pause == frmComm::kReplyPoll)) {
                    asked = true;
                    desk.close(way, *dialog, name);
                } else if (asked && pause == frmComm::kReplyPoll && !desk.comm->IsPortOpen()) {
                    desk.expireWait(dialog);
                }
            };
            startWork(work, *dialog);
            ASSERT_TRUE(asked);
            ASSERT_TRUE(dialog) << "deleted under its handler";
            EXPECT_TRUE(dialog->findChild<QPushButton*>(QStringLiteral("cmdCancel"))->isEnabled());
            const bool requested = way == Close::WindowManager || way == Close::Unload || way == Close::Replaced;
            EXPECT_EQ(dialog->isVisible(), !requested);
            EXPECT_TRUE(!requested || matchesFile(desk));
            desk.pauser.onPause = nullptr;
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_EQ(dialog.isNull(), requested);
        }
    }
}

// The program ending while a dialog's own message box is open deletes the dialog under the
// box; the handler then does nothing more (the adapter dialog's Cancel question, the CTI
// dialog's notice after OK, the URL dialog's notice after OK).
TEST(DialogClosing, DeletedUnderItsOwnBox)
{
    for (const char* name : {kAdapter, kCti, kUrl}) {
        SCOPED_TRACE(name);
        ClosingDesk desk;
        desk.state.appState = AppStateCode::AdapterStep;
        QPointer<QDialog> dialog = desk.open(name);
        ASSERT_TRUE(dialog);
        desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
            desk.close(Close::Unload, *dialog, name);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        const char* button = name == kAdapter ? "cmdCancel" : "cmdOK";
        dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
        EXPECT_FALSE(dialog);
        EXPECT_EQ(desk.boxes.shown.size(), 1u);
        EXPECT_EQ(desk.state.appState, AppStateCode::AdapterStep);
    }
}
