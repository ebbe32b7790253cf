// Runs under a real X server with a window manager that frames its windows
// (scripts/lib/with-xvfb --wm starts Xvfb and openbox).

#include "WindowRig.h"

#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// The window's heights are its outer heights, the window manager's frame included: in normal
// mode no part of the debug row is on the screen and the buttons are whole; in debug mode the
// whole row is, without an empty band below it.
TEST(MainWindowOnXServer, HeightsIncludeTheFrame)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    for (const bool debug : {false, true}) {
        SCOPED_TRACE(debug);
        Desk desk({{"SYSTEM", "debugmode", debug ? "True" : "False"}});
        frmTerminal& window = *desk.window;
        window.show();
        const auto outerHeight = [&] {
            return window.height() + window.windowHandle()->frameMargins().top() +
                   window.windowHandle()->frameMargins().bottom();
        };
        ASSERT_TRUE(processEventsUntil([&] { return window.windowHandle()->frameMargins().top() > 0; }, 10s))
            << "the window manager drew no frame";
        processEventsUntil([] { return false; }, 500ms);

        const QImage shown = window.screen()->grabWindow(window.winId()).toImage();
        EXPECT_EQ(shown.height(), window.height()) << "the X server's window has the height Qt reports";
        const QRect client(QPoint(0, 0), QSize(window.width(), shown.height()));
        EXPECT_EQ(window.width(), twipsToPixels(9360));
        if (debug) {
            EXPECT_TRUE(client.contains(window.txtTerm->geometry()));
            EXPECT_TRUE(client.contains(window.txtRecvData->geometry()));
            EXPECT_LE(client.bottom() - window.txtTerm->geometry().bottom(), twipsToPixels(240));
        } else {
            EXPECT_EQ(outerHeight(), twipsToPixels(2115));
            EXPECT_FALSE(client.intersects(window.txtTerm->geometry()));
            EXPECT_FALSE(client.intersects(window.txtRecvData->geometry()));
            EXPECT_TRUE(client.contains(window.cbExit->geometry()));
            EXPECT_TRUE(client.contains(window.cbMachiuke->geometry()));
        }
    }
}
