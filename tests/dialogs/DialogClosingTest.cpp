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

const QString kAdapter = QStringLiteral("アダプタ設定");
const QString kCti = QStringLiteral("CTI設定");
const QString kUrl = QStringLiteral("着信時の動作設定");

struct ClosingDesk : DialogDesk
{
    ClosingDesk()
    {
        registerSettingsDialogs(openers, state, boxes, pauser, *comm, *window, chooser);
        sim->setCtiPorts({true, false, true});
    }
    QDialog* open(const QString& name) { return qobject_cast<QDialog*>(openers.open(name)); }
    void click(QDialog& dialog, const char* button) { dialog.findChild<QPushButton*>(button)->click(); }

    // The settings in memory are those of settings.ini.
    bool matchesFile() const
    {
        SharedState file = dir.makeState();
        ReadWriteAppSettings(file, QStringLiteral("READ"));
        LoadSettings(file);
        return file.systemSettings == state.systemSettings && file.urlSettings == state.urlSettings &&
               file.adapterProfile == state.adapterProfile && file.adapterModel == state.adapterModel;
    }

    ScriptedFileChooser chooser;
};

struct Way
{
    const char* name;
    std::function<void(ClosingDesk&, QDialog&, const QString& dialogName)> close;
    /// A request to close, carried out once the dialog is no longer busy; the others are refused.
    bool request;
};

// clang-format off
const Way kWays[] = {
    {"close button", [](ClosingDesk&, QDialog& d, const QString&) { d.windowHandle()->close(); }, true},
    {"Escape", [](ClosingDesk&, QDialog& d, const QString&) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
    {"reject()", [](ClosingDesk&, QDialog& d, const QString&) { d.reject(); }, false},
    {"done()", [](ClosingDesk&, QDialog& d, const QString&) { d.done(QDialog::Accepted); }, false},
    {"unload", [](ClosingDesk& desk, QDialog&, const QString&) { desk.window->close(); }, true},
    // The start-up's step replaces it with its own, which is closed as soon as it shows.
    {"replaced", [](ClosingDesk& desk, QDialog&, const QString& name) {
         QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
         desk.openers.exec(name);
     }, true},
};
// clang-format on

} // namespace

// Idle, every way of closing without OK or Cancel leaves the settings in memory as the file
// has them, after a change the dialog made in memory only (a detection on a port that does
// not open, a read-out, a check box); the dialog goes.
TEST(DialogClosing, IdleRestoresTheFile)
{
    const std::pair<QString, std::function<void(ClosingDesk&, QDialog&)>> changes[] = {
        {kAdapter,
         [](ClosingDesk& desk, QDialog& d) {
             static_cast<frmAdapter&>(d).cboPort->setCurrentIndex(8);
             desk.click(d, "cmdAdapter");
         }},
        {kCti,
         [](ClosingDesk& desk, QDialog& d) {
             desk.click(d, "cmdCti");
         }},
        {kUrl,
         [](ClosingDesk&, QDialog& d) {
             static_cast<frmUrl&>(d).chkUrl->click();
         }},
    };
    for (const auto& [name, change] : changes) {
        for (const Way& way : kWays) {
            if (QLatin1String(way.name) == QLatin1String("done()"))
                continue; // done() is how OK closes
            SCOPED_TRACE(testing::Message() << name.toStdString() << ", " << way.name);
            ClosingDesk desk;
            QPointer<QDialog> dialog = desk.open(name);
            change(desk, *dialog);
            ASSERT_FALSE(desk.matchesFile());
            way.close(desk, *dialog, name);
            EXPECT_TRUE(desk.matchesFile());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(dialog);
        }
    }
}

// While a detection, a read-out or a send runs, no way of closing succeeds: the dialog
// outlives its handler, which runs to its end. A request to close is carried out when the
// handler has ended, and leaves the settings as the file has them; the others are refused.
TEST(DialogClosing, BusyOutlivesItsHandler)
{
    const std::pair<QString, const char*> works[] = {
        {kAdapter, "cmdAdapter"}, {kCti, "cmdCti"}, {kCti, "cmdCtiSetting"}};
    for (const auto& [name, button] : works) {
        for (const Way& way : kWays) {
            SCOPED_TRACE(testing::Message() << button << ", " << way.name);
            ClosingDesk desk;
            QPointer<QDialog> dialog = desk.open(name);
            if (auto* adapter = qobject_cast<frmAdapter*>(dialog)) {
                adapter->cboPort->setCurrentIndex(2);
                adapter->cboAdapterName->setCurrentIndex(1);
            }
            bool asked = false;
            desk.pauser.onPause = [&](std::chrono::milliseconds pause) {
                if (!asked && (pause == frmComm::kCommandPause || pause == frmComm::kReplyPoll)) {
                    asked = true;
                    way.close(desk, *dialog, name);
                } else if (asked && pause == frmComm::kReplyPoll && !desk.comm->IsPortOpen()) {
                    // The port was closed under the wait: it ends at once, as its timer would.
                    if (auto* adapter = qobject_cast<frmAdapter*>(dialog); adapter && adapter->waitTimer.isActive())
                        adapter->waitTimer_Timer();
                    if (auto* cti = qobject_cast<frmCti*>(dialog); cti && cti->waitTimer.isActive())
                        cti->waitTimer_Timer();
                }
            };
            desk.click(*dialog, button);
            ASSERT_TRUE(asked);
            ASSERT_TRUE(dialog) << "deleted under its handler";
            EXPECT_TRUE(dialog->findChild<QPushButton*>("cmdCancel")->isEnabled()) << "the handler did not end";
            EXPECT_EQ(dialog->isVisible(), !way.request);
            EXPECT_TRUE(!way.request || desk.matchesFile());
            desk.pauser.onPause = nullptr;
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_EQ(dialog.isNull(), way.request);
        }
    }
}

// The program ending while a dialog's own message box is open deletes the dialog under the
// box; the handler then does nothing more (the adapter dialog's Cancel question, the CTI and
// URL dialogs' notices after OK).
TEST(DialogClosing, DeletedUnderItsOwnBox)
{
    for (const auto& [name, button] : {std::pair{kAdapter, "cmdCancel"}, {kCti, "cmdOK"}, {kUrl, "cmdOK"}}) {
        SCOPED_TRACE(name.toStdString());
        ClosingDesk desk;
        desk.state.appState = AppStateCode::AdapterStep;
        QPointer<QDialog> dialog = desk.open(name);
        desk.boxes.whileOpen = [&](const ScriptedMessageBoxes::Shown&) {
            desk.window->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        desk.click(*dialog, button);
        EXPECT_FALSE(dialog);
        EXPECT_EQ(desk.boxes.shown.size(), 1u);
        EXPECT_EQ(desk.state.appState, AppStateCode::AdapterStep);
    }
}
