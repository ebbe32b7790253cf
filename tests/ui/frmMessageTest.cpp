#include "ui/frmMessage.h"

#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"

#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <numeric>

using namespace std::chrono_literals;

namespace {

// The CTI-INS100 simulated on COM3 and selected.
TestDesk::Setup ins100()
{
    return {.ini = "[SYSTEM]\nadapter=1\nCommPort=3\n", .adapter = "CTI-INS100"};
}

// Openers that count what they made; each dialog is a plain window named after it.
struct CountingOpeners
{
    explicit CountingOpeners(DialogOpeners& openers)
    {
        for (const QString& name :
             {QStringLiteral("アダプタ設定"), QStringLiteral("CTI設定"), QStringLiteral("着信時の動作設定")}) {
            openers.setOpener(name, [this, name] {
                ++made[name];
                auto* dialog = new QWidget;
                dialog->setAttribute(Qt::WA_DeleteOnClose);
                dialog->setObjectName(name);
                return dialog;
            });
        }
    }
    int total() const
    {
        return std::accumulate(made.begin(), made.end(), 0, [](int n, auto& m) { return n + m.second; });
    }
    std::map<QString, int> made;
};

} // namespace

// A settings button during standby stops it and the popup opens the named dialog when its
// 2000 ms have passed, hiding itself; outside standby the popup announces the dialog.
TEST(frmMessageDialogs, SettingsButtonOpensItsDialogLater)
{
    TestDesk desk(ins100());
    frmTerminal& w = desk.window();
    CountingOpeners counting(desk.program->openers);
    w.show();
    w.cbMachiuke->click();
    w.cbSetting[1]->click();
    EXPECT_EQ(w.cbMachiuke->text(), QStringLiteral("待ち受け開始"));
    EXPECT_FALSE(desk.comm().IsPortOpen());
    EXPECT_EQ(w.popup().lbMsg->text(), QStringLiteral("しばらくお待ちください・・・"));
    EXPECT_EQ(w.popup().lbFormName->text(), QStringLiteral("アダプタ設定"));
    EXPECT_TRUE(w.popup().isVisible());
    EXPECT_EQ(w.popup().Timer1.interval(), 2000);
    EXPECT_EQ(counting.total(), 0);
    ASSERT_TRUE(processEventsUntil([&] { return counting.total() == 1; }, 5s));
    EXPECT_EQ(counting.made[QStringLiteral("アダプタ設定")], 1);
    EXPECT_FALSE(w.popup().isVisible());

    w.cbSetting[3]->click();
    EXPECT_EQ(w.popup().lbMsg->text(), QStringLiteral("着信時の動作設定を開きます。"));
    EXPECT_EQ(w.popup().lbFormName->text(), QStringLiteral("着信時の動作設定"));
}

// Only the last of two quick settings buttons opens, and hiding the popup cancels an
// opening still pending. Each dialog exists at most once.
TEST(frmMessageDialogs, LaterCallsCancelPendingOpenings)
{
    TestDesk desk(ins100());
    frmTerminal& w = desk.window();
    CountingOpeners counting(desk.program->openers);
    w.cbSetting[2]->click();
    w.cbSetting[3]->click();
    w.popup().Timer1_Timer();
    EXPECT_EQ(counting.made, (std::map<QString, int>{{QStringLiteral("着信時の動作設定"), 1}}));
    EXPECT_FALSE(w.popup().Timer1.isActive());

    w.cbSetting[1]->click();
    w.popup().ShowMessage(QString(), QString(), 0, false);
    EXPECT_FALSE(w.popup().Timer1.isActive());
    EXPECT_FALSE(w.popup().isVisible());

    QWidget* first = desk.program->openers.open(QStringLiteral("着信時の動作設定"));
    EXPECT_EQ(desk.program->openers.open(QStringLiteral("着信時の動作設定")), first);
    EXPECT_EQ(counting.total(), 1);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_NE(desk.program->openers.open(QStringLiteral("着信時の動作設定")), nullptr);
    EXPECT_EQ(counting.total(), 2);
    EXPECT_EQ(desk.program->openers.open(QStringLiteral("URL設定")), nullptr);
    QApplication::closeAllWindows();
}

// The popup's timer takes 1 to 65535 ms; 0 and refused intervals leave the popup up with
// nothing pending. Every call blocks for 100 ms.
TEST(frmMessageShowMessage, Intervals)
{
    // clang-format off
    const struct { std::int32_t interval; bool pending; } rows[] = {
        {0, false}, {1, true}, {3000, true}, {65535, true}, {65536, false}, {100000, false}, {1000000, false}, {-1, false}};
    // clang-format on
    TestDesk desk(ins100());
    frmMessage& popup = desk.window().popup();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.interval);
        desk.pauser.pauses.clear();
        popup.ShowMessage(QString(), QStringLiteral("しばらくお待ちください・・・"), row.interval, true);
        EXPECT_EQ(desk.pauser.pauses, std::vector<std::chrono::milliseconds>{100ms});
        EXPECT_TRUE(popup.isVisible());
        EXPECT_EQ(popup.Timer1.isActive(), row.pending);
        if (row.pending) {
            EXPECT_EQ(popup.Timer1.interval(), row.interval);
        }
    }
    // A plain message with a timer disappears when it runs out and opens nothing.
    popup.ShowMessage(QString(), QStringLiteral("終了しています・・・"), 50, true);
    EXPECT_TRUE(processEventsUntil([&] { return !popup.isVisible(); }, 2s));
}

// The popup sits 1000 twips above the main window, left edges aligned, and follows it when
// the window paints.
TEST(frmMessageShowMessage, Placement)
{
    TestDesk desk(ins100());
    frmTerminal& w = desk.window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.move(200, 300);
    w.repaint();
    EXPECT_EQ(w.popup().pos(), QPoint(w.x(), w.y() - 67));
}
