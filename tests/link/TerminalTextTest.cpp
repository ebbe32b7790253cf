#include "link/TerminalText.h"
#include "link/PortDevice.h"

#include "support/TempAppDir.h"

#include <gtest/gtest.h>

// The debug terminal's bound and its backspace handling, one row per rule.
TEST(TerminalText, BoundAndBackspaces)
{
    const QString full = QString(kTerminalLimit, u'a');
    const QString over = QString(kTerminalTrim, u'o') + QString(kTerminalLimit - kTerminalTrim + 1, u'k');
    // clang-format off
    struct Row { const char* what; QString box; QString text; QString expected; };
    const Row rows[] = {
        {"exactly at the limit nothing is dropped", full, QStringLiteral("z"), full + u'z'},
        {"above the limit the oldest 4096 go first", over, QStringLiteral("z"),
         QString(kTerminalLimit - kTerminalTrim + 1, u'k') + u'z'},
        {"leading backspace deletes the box's last character", QStringLiteral("abc"), QStringLiteral("\bX"),
         QStringLiteral("abX")},
        {"backspace inside the text deletes the character before it", QStringLiteral("box"), QStringLiteral("12\b3"),
         QStringLiteral("box13")},
        {"a run of backspaces deletes as many characters", QStringLiteral("box"), QStringLiteral("12\b\b3"),
         QStringLiteral("box3")},
        {"a run longer than the text reaches into the box", QStringLiteral("box"), QStringLiteral("1\b\b\b"),
         QStringLiteral("b")},
        {"backspace into an empty box deletes nothing", QString(), QStringLiteral("\bA"), QStringLiteral("A")},
        {"plain text is appended", QStringLiteral("A\r\n"), QStringLiteral("B\r\n"), QStringLiteral("A\r\nB\r\n")},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(appendToTerminalText(row.box, row.text), row.expected);
    }
}

// COM port numbers map through the PORTS section, else to the platform's device names.
TEST(PortDevice, MappingAndDefaults)
{
    TempAppDir dir;
    dir.writeSettings("[PORTS]\nCOM3=/dev/ttyUSB0\n");
    const SharedState state = dir.makeState();
    EXPECT_EQ(deviceForPort(state, 3), QStringLiteral("/dev/ttyUSB0"));
#ifdef Q_OS_WIN
    EXPECT_EQ(deviceForPort(state, 1), QStringLiteral("COM1"));
#else
    EXPECT_EQ(deviceForPort(state, 1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(deviceForPort(state, 12), QStringLiteral("/dev/ttyS11"));
#endif
}
