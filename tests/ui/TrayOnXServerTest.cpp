// Runs under a real X server with a notification area (scripts/lib/with-xvfb --tray starts Xvfb
// and trayer), where the tray icon really has to appear.

#include "ui/SystemTaskTray.h"

#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// Share of the pixels of the screen area `area` that are plain red.
double redShare(const QRect& area)
{
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                            .toImage()
                            .convertToFormat(QImage::Format_RGB32);
    int red = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            red += c.red() > 200 && c.green() < 60 && c.blue() < 60;
        }
    }
    return shot.isNull() ? 0.0 : double(red) / (shot.width() * shot.height());
}

} // namespace

// The icon shows in the notification area with the application title as its tip, and its
// picture follows standby: the built-in on icon, then the iconFile_off picture (a red
// square, a third of the icon's area at its own size).
TEST(TrayOnXServer, IconAppearsAndFollowsStandby)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    ASSERT_TRUE(processEventsUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10s))
        << "no notification area on the X server";
    SystemTaskTray tray;
    TestDesk desk(
        {.ini = "[SYSTEM]\nadapter=1\nCommPort=3\niconFile_off=\\off.png\n", .adapter = "CTI-INS100", .tray = &tray});
    desk.paint("off.png", Qt::red);
    frmTerminal& w = desk.window();
    w.show();

    w.cbMachiuke->click();
    ASSERT_EQ(w.cbMachiuke->text(), QStringLiteral("待ち受け停止"));
    ASSERT_TRUE(processEventsUntil([&] { return !tray.icon().geometry().isEmpty(); }, 10s));
    EXPECT_TRUE(tray.icon().isVisible());
    EXPECT_EQ(tray.icon().toolTip(), QStringLiteral("着信"));
    processEventsUntil([] { return false; }, 500ms);
    EXPECT_LT(redShare(tray.icon().geometry()), 0.05);

    w.cbMachiuke->click();
    ASSERT_EQ(w.cbMachiuke->text(), QStringLiteral("待ち受け開始"));
    ASSERT_TRUE(processEventsUntil([&] { return !tray.icon().geometry().isEmpty(); }, 10s));
    EXPECT_EQ(tray.icon().toolTip(), QStringLiteral("着信"));
    EXPECT_TRUE(processEventsUntil([&] { return redShare(tray.icon().geometry()) > 0.2; }, 5s));

    w.close();
    EXPECT_FALSE(tray.icon().isVisible());
}
