#include "WindowRig.h"

#include <QTest>

#include <gtest/gtest.h>

#include <map>

using namespace std::chrono_literals;

namespace {

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
        int sum = 0;
        for (const auto& [name, count] : made)
            sum += count;
        return sum;
    }
    std::map<QString, int> made;
};

} // namespace

// A settings button during standby stops it and the popup opens the named dialog when its
// 2000 ms have passed, hiding itself; outside standby the popup announces the dialog.
TEST(frmMessageDialogs, SettingsButtonOpensItsDialogLater)
{
    Desk desk;
    CountingOpeners counting(desk.openers);
    desk.window->show();
    desk.window->cbMachiuke->click();
    desk.window->cbSetting[1]->click();
    EXPECT_EQ(desk.caption(), QStringLiteral("待ち受け開始"));
    EXPECT_FALSE(desk.comm->IsPortOpen());
    EXPECT_EQ(desk.popup().lbMsg->text(), QStringLiteral("しばらくお待ちください・・・"));
    EXPECT_EQ(desk.popup().lbFormName->text(), QStringLiteral("アダプタ設定"));
    EXPECT_TRUE(desk.popup().isVisible());
    EXPECT_EQ(desk.popup().Timer1.interval(), 2000);
    EXPECT_EQ(counting.total(), 0);
    ASSERT_TRUE(processEventsUntil([&] { return counting.total() == 1; }, 5s));
    EXPECT_EQ(counting.made[QStringLiteral("アダプタ設定")], 1);
    EXPECT_FALSE(desk.popup().isVisible());

    desk.window->cbSetting[3]->click();
    EXPECT_EQ(desk.popup().lbMsg->text(), QStringLiteral("着信時の動作設定を開きます。"));
    EXPECT_EQ(desk.popup().lbFormName->text(), QStringLiteral("着信時の動作設定"));
}

// Only the last of two quick settings buttons opens, and hiding the popup cancels an
// opening still pending. Each dialog exists at most once.
TEST(frmMessageDialogs, LaterCallsCancelPendingOpenings)
{
    Desk desk;
    CountingOpeners counting(desk.openers);
    desk.window->cbSetting[2]->click();
    desk.window->cbSetting[3]->click();
    desk.popup().Timer1_Timer();
    EXPECT_EQ(counting.made, (std::map<QString, int>{{QStringLiteral("着信時の動作設定"), 1}}));
    EXPECT_FALSE(desk.popup().Timer1.isActive());

    desk.window->cbSetting[1]->click();
    desk.popup().ShowMessage(QString(), QString(), 0, false);
    EXPECT_FALSE(desk.popup().Timer1.isActive());
    EXPECT_FALSE(desk.popup().isVisible());

    QWidget* first = desk.openers.open(QStringLiteral("着信時の動作設定"));
    EXPECT_EQ(desk.openers.open(QStringLiteral("着信時の動作設定")), first);
    EXPECT_EQ(counting.total(), 1);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_NE(desk.openers.open(QStringLiteral("着信時の動作設定")), nullptr);
    EXPECT_EQ(counting.total(), 2);
    EXPECT_EQ(desk.openers.open(QStringLiteral("URL設定")), nullptr);
    QApplication::closeAllWindows();
}

// The popup's timer takes 1 to 65535 ms; 0 and refused intervals leave the popup up with
// nothing pending. Every call blocks for 100 ms.
TEST(frmMessageShowMessage, Intervals)
{
    struct Row
    {
        std::int32_t interval;
        bool pending;
    };
    const Row rows[] = {{0, false},     {1, true},       {3000, true},     {65535, true},
                        {65536, false}, {100000, false}, {1000000, false}, {-1, false}};
    Desk desk;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.interval);
        desk.pauser.pauses.clear();
        desk.popup().ShowMessage(QString(), QStringLiteral("しばらくお待ちください・・・"), row.interval, true);
        EXPECT_EQ(desk.pauser.pauses, std::vector<std::chrono::milliseconds>{100ms});
        EXPECT_TRUE(desk.popup().isVisible());
        EXPECT_EQ(desk.popup().Timer1.isActive(), row.pending);
        if (row.pending) {
            EXPECT_EQ(desk.popup().Timer1.interval(), row.interval);
        }
    }
    // A plain message with a timer disappears when it runs out and opens nothing.
    desk.popup().ShowMessage(QString(), QStringLiteral("終了しています・・・"), 50, true);
    EXPECT_TRUE(processEventsUntil([&] { return !desk.popup().isVisible(); }, 2s));
}

// The popup sits 1000 twips above the main window, left edges aligned, and follows it when
// the window paints.
TEST(frmMessageShowMessage, Placement)
{
    Desk desk;
    desk.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(desk.window.get()));
    desk.window->move(200, 300);
    desk.window->repaint();
    EXPECT_EQ(desk.popup().pos(), QPoint(desk.window->x(), desk.window->y() - 67));
}
