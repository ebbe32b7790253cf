// The session's autostart entry: any program path and application directory must come
// back as the same words when the desktop starts the entry.

#include "startup/Autostart.h"

#include "calls/BrowserCommand.h"

#include "support/DesktopEntryValidation.h"
#include "support/QStringPrinter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

/// A private XDG_CONFIG_HOME for one test.
struct ConfigHome
{
    ConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
    ~ConfigHome() { qunsetenv("XDG_CONFIG_HOME"); }
    QTemporaryDir dir;
};

} // namespace

// Words with blanks, quotes, shell characters, backslashes, '%' and Japanese are quoted
// and escaped so that the desktop's parsing gives exactly the words back.
TEST(Autostart, ExecValueRoundTrips)
{
    struct Case
    {
        QString word;
        QString written;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(qPrintable(c.word));
        EXPECT_EQ(desktopExecValue({c.word}), c.written);
        const QStringList command{"/opt/chakushin/bin/chakushin", "--app-dir", c.word};
        const BrowserCommand parsed = commandFromExec(unescapeDesktopValue(desktopExecValue(command)), QString());
        EXPECT_EQ(parsed.program, command.at(0));
        EXPECT_EQ(parsed.arguments, command.mid(1));
    }
}

// "on" writes a valid entry that starts the program with its application directory and
// replaces an older one; "off" removes it, and a second "off" is no fault.
TEST(Autostart, OnAndOff)
{
    ConfigHome home;
    const QString path = home.dir.filePath("autostart/chakushin.desktop");
    EXPECT_EQ(autostartEntryPath(), path);

    const AutostartResult first = enableAutostart("/usr/bin/chakushin", "/home/u/.local/share/chakushin");
    ASSERT_TRUE(first.ok) << qPrintable(first.message);
    const AutostartResult again = enableAutostart("/usr/bin/chakushin", "/home/u/デスク 2");
    ASSERT_TRUE(again.ok) << qPrintable(again.message);
    EXPECT_TRUE(again.message.contains(path));
    QFile entry(path);
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("\nExec=/usr/bin/chakushin --app-dir \"/home/u/デスク 2\"\n")) << qPrintable(text);
    EXPECT_EQ(desktopEntryErrors(path), QString());
    ASSERT_TRUE(enableAutostart("/opt/chakushin 1/bin/chakushin", "/srv/50% \"off\" $x\\y`z` 山;|").ok);
    EXPECT_EQ(desktopEntryErrors(path), QString());

    const AutostartResult off = disableAutostart();
    EXPECT_TRUE(off.ok) << qPrintable(off.message);
    EXPECT_FALSE(QFile::exists(path));
    const AutostartResult offAgain = disableAutostart();
    EXPECT_TRUE(offAgain.ok) << qPrintable(offAgain.message);
    EXPECT_NE(offAgain.message, off.message);
}
