// The session's autostart entry: any program path and application directory must come
// back as the same words when the desktop starts the entry.

#include "startup/Autostart.h"

#include "calls/BrowserCommand.h"

#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

// Words with blanks, quotes, shell characters, backslashes, '%' and Japanese are quoted
// and escaped so that the desktop's parsing gives exactly the words back.
TEST(Autostart, ExecValueRoundTrips)
{
    // clang-format off
    const struct { QString word, written; } cases[] = {
        {"/usr/bin/chakushin", "/usr/bin/chakushin"},
        {"/home/山田/.local/share/chakushin", "/home/山田/.local/share/chakushin"},
        {"/home/a b/desk", "\"/home/a b/desk\""},
        {"/srv/it's", "\"/srv/it's\""},
        {"/srv/say \"hi\"", "\"/srv/say \\\\\"hi\\\\\"\""},
        {"/srv/$HOME`x`", "\"/srv/\\\\$HOME\\\\`x\\\\`\""},
        {"C:\\desk", "\"C:\\\\\\\\desk\""},
        {"/srv/100%", "/srv/100%%"},
        {"/srv/50% off", "\"/srv/50%% off\""},
        {"/srv/a;b|c&d", "\"/srv/a;b|c&d\""},
        {"/srv/tab\there", "\"/srv/tab\\there\""},
        {"", "\"\""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(qPrintable(c.word));
        EXPECT_EQ(desktopExecValue({c.word}), c.written);
        const QStringList command{"/opt/chakushin/bin/chakushin", "--app-dir", c.word};
        const BrowserCommand parsed = commandFromExec(unescapeDesktopValue(desktopExecValue(command)), QString());
        EXPECT_EQ(parsed.program, command.at(0));
        EXPECT_EQ(parsed.arguments, command.mid(1));
    }
}
