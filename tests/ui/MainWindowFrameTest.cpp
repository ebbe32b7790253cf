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
        const QWindow& handle = *window.windowHandle();
        ASSERT_TRUE(processEventsUntil([&] { return handle.frameMargins().top() > 0; }, 10s)) << "no frame drawn";
        processEventsUntil([] { return false; }, 500ms);

        // What the X server shows, not only what Qt holds.
        const QRect shown(QPoint(0, 0), window.screen()->grabWindow(window.winId()).size());
        EXPECT_EQ(shown.size(), window.size());
        const QRect debugRow = window.txtRecvData->geometry().united(window.txtTerm->geometry());
        if (debug) {
            EXPECT_TRUE(shown.contains(debugRow));
            EXPECT_LE(shown.bottom() - debugRow.bottom(), twipsToPixels(240));
        } else {
            EXPECT_EQ(shown.height() + handle.frameMargins().top() + handle.frameMargins().bottom(),
                      twipsToPixels(2115));
            EXPECT_FALSE(shown.intersects(debugRow));
            EXPECT_TRUE(shown.contains(window.cbExit->geometry()) && shown.contains(window.cbMachiuke->geometry()));
        }
    }
}
