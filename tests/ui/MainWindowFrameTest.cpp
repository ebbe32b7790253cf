// Under a real X server with a window manager that frames its windows (with-xvfb --wm).

#include "ui/Twips.h"

#include "support/ProcessEventsUntil.h"
#include "support/TestDesk.h"

#include <QScreen>
#include <QWindow>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// The heights include the frame: normal mode shows no part of the debug row and whole buttons
// at 2115 twips outer; debug mode shows the whole row without an empty band below it. Measured
// on what the X server shows.
TEST(MainWindowOnXServer, HeightsIncludeTheFrame)
{
    for (const bool debug : {false, true}) {
        TestDesk desk(
            {.ini = QByteArray("[SYSTEM]\ndebugmode=") + (debug ? "True" : "False"), .adapter = "CTI-INS100"});
        frmTerminal& window = desk.window();
        window.show();
        const QWindow& handle = *window.windowHandle();
        ASSERT_TRUE(processEventsUntil([&] { return handle.frameMargins().top() > 0; }, 10s)) << "no frame drawn";
        processEventsUntil([] { return false; }, 500ms);
        const QRect shown(QPoint(0, 0), window.screen()->grabWindow(window.winId()).size());
        const QRect debugRow = window.txtRecvData->geometry().united(window.txtTerm->geometry());
        EXPECT_EQ(shown.size(), window.size());
        EXPECT_EQ(shown.contains(debugRow), debug);
        EXPECT_EQ(shown.intersects(debugRow), debug);
        EXPECT_TRUE(shown.contains(window.cbExit->geometry()) && shown.contains(window.cbMachiuke->geometry()));
        if (debug)
            EXPECT_LE(shown.bottom() - debugRow.bottom(), twipsToPixels(240));
        else
            EXPECT_EQ(shown.height() + handle.frameMargins().top() + handle.frameMargins().bottom(),
                      twipsToPixels(2115));
    }
}
