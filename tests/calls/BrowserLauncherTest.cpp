#include "calls/BrowserCommand.h"
#include "calls/DesktopBrowserLauncher.h"
#include "calls/DetachedProcess.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TempAppDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr auto kLaunchWait = 10s;

// Restores the listed environment variables (set or unset) when it goes out of scope.
class ScopedEnvironment
{
public:
    explicit ScopedEnvironment(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    }
    ~ScopedEnvironment()
    {
        for (const auto& [name, value] : m_saved)
            value ? qputenv(name, *value) : qunsetenv(name);
    }

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> m_saved;
};

void setEnv(const char* name, const QString& value)
{
    qputenv(name, QFile::encodeName(value));
}

// BROWSER set to `value`, or unset when it is empty.
void setBrowser(const QByteArray& value)
{
    value.isEmpty() ? qunsetenv("BROWSER") : qputenv("BROWSER", value);
}

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Every launch goes to real programs: shell scripts writing their arguments, NUL-terminated, to a file the test awaits.
class BrowserLauncherTest : public ::testing::Test
{
protected:
    BrowserLauncherTest()
    {
        state.systemSettings.appName = "着信テスト";
        for (const QString& sub : {bin, dataHome, configHome, dataDir, configDir, home})
            QDir().mkpath(sub);
        setEnv("PATH", bin);
        setEnv("HOME", home);
        setEnv("XDG_DATA_HOME", dataHome);
        setEnv("XDG_CONFIG_HOME", configHome);
        setEnv("XDG_DATA_DIRS", dataDir);
        setEnv("XDG_CONFIG_DIRS", configDir);
        qunsetenv("BROWSER");
        qunsetenv("XDG_CURRENT_DESKTOP");
    }

    // A program on PATH named `name` that records its arguments.
    void writeRecorder(const QString& name) const
    {
        const QByteArray script = "#!/bin/sh\nPATH=/usr/bin:/bin\n: > '@out@.part'\n"
                                  "for a in \"$@\"; do printf '%s\\000' \"$a\"; done >> '@out@.part'\n"
                                  "mv '@out@.part' '@out@'\n";
        writeFile(bin + u'/' + name, QByteArray(script).replace("@out@", QFile::encodeName(recordPath(name))), true);
    }

    QString recordPath(const QString& name) const { return dir.filePath("args-" + name); }

    // The arguments the recorder `name` was started with, once it has run.
    std::optional<QStringList> waitForArgs(const QString& name) const
    {
        const QString path = recordPath(name);
        processEventsUntil([&] { return QFile::exists(path); }, kLaunchWait);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        QStringList args = QString::fromUtf8(file.readAll()).split(QChar(0));
        args.removeLast(); // after the last argument's terminator
        return args;
    }

    void writeDesktopEntry(const QString& folder, const QString& id, const QByteArray& exec) const
    {
        writeFile(folder + "/applications/" + id,
                  "[Desktop Action new]\nExec=wrong-group %u\n"
                  "[Desktop Entry]\nType=Application\nName=Test\nExec[ja]=wrong-locale %u\nExec=" +
                      exec + "\n");
    }

    void writeDefault(const QString& mimeappsFolder, const QByteArray& ids) const
    {
        writeFile(mimeappsFolder + "/mimeapps.list",
                  "[Added Associations]\ntext/html=wrong.desktop;\n[Default Applications]\ntext/plain=wrong.desktop\n"
                  "text/html=" +
                      ids + "\n");
    }

    // The recorder "rec", the user's default browser through rec.desktop, whose Exec is "rec %u".
    void recorderAsDefault() const
    {
        writeRecorder("rec");
        writeDesktopEntry(dataHome, "rec.desktop", "rec %u");
        writeDefault(configHome, "rec.desktop");
    }

    void expectOnlyMessage(const char* text, const char* title) const
    {
        ASSERT_EQ(boxes.shown.size(), 1u);
        const auto& box = boxes.shown[0];
        EXPECT_EQ(
            std::tuple(box.text, box.title, box.icon, box.buttons),
            std::tuple(QString(text), QString(title), MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok));
    }

    // clang-format off
    ScopedEnvironment env{"PATH", "HOME", "BROWSER", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"};
    // clang-format on
    TempAppDir dir;
    QString bin = dir.filePath("bin");
    QString home = dir.filePath("home");
    QString dataHome = dir.filePath("data-home");
    QString configHome = dir.filePath("config-home");
    QString dataDir = dir.filePath("data-dir");
    QString configDir = dir.filePath("config-dir");
    SharedState state = dir.makeState();
    ScriptedMessageBoxes boxes;
    DesktopBrowserLauncher launcher{state, boxes};
};

} // namespace

// BROWSER names the program: alone, with %s, with further entries after the first, and with an empty first entry.
TEST_F(BrowserLauncherTest, BrowserVariable)
{
    writeRecorder("br");
    writeRecorder("other");
    const QString url = "http://crm.example/?tel=0312345678";
    // clang-format off
    struct Case { const char* browser; QStringList expected; };
    const std::vector<Case> cases = {
        {"br", {url}},
        {"br --new-tab %s --raise", {"--new-tab", url, "--raise"}},
        {"br:other", {url}},
        {":br -n:other", {"-n", url}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.browser);
        QFile::remove(recordPath("br"));
        setBrowser(c.browser);
        launcher.OpenUrlInBrowser(url);
        EXPECT_EQ(waitForArgs("br"), c.expected);
        EXPECT_TRUE(boxes.shown.empty());
    }
    EXPECT_FALSE(QFile::exists(recordPath("other")));
}

// Without BROWSER and xdg-mime: the user's mimeapps.list, first entry with a desktop file, [Desktop Entry] Exec's %U.
TEST_F(BrowserLauncherTest, DesktopDefaultFromMimeappsList)
{
    writeRecorder("rec");
    writeDesktopEntry(dataHome, "rec.desktop", "rec --flag %i %U");
    writeDesktopEntry(dataDir, "sysdefault.desktop", "wrong %u");
    writeDefault(configHome, "gone.desktop;rec.desktop;sysdefault.desktop");
    writeDefault(dataDir + "/applications", "sysdefault.desktop");

    launcher.OpenUrlInBrowser("http://crm.example/?tel=0312345678");
    EXPECT_EQ(waitForArgs("rec"), (QStringList{"--flag", "http://crm.example/?tel=0312345678"}));
    EXPECT_TRUE(boxes.shown.empty());
}

// The lookup order of the mimeapps.list files and the desktop-file ID rules.
TEST_F(BrowserLauncherTest, MimeappsLookupOrder)
{
    writeDesktopEntry(dataDir, "sys.desktop", "sys %u");
    writeDesktopEntry(dataHome, "vendor/app.desktop", "app %u");
    writeDesktopEntry(dataDir, "hidden.desktop", "hidden %u");

    EXPECT_EQ(defaultHtmlDesktopFile(), std::nullopt);

    writeDefault(dataDir + "/applications", "sys.desktop");
    EXPECT_EQ(defaultHtmlDesktopFile(), dataDir + "/applications/sys.desktop");

    // The system config folder comes before the data folders.
    writeDefault(configDir, "vendor-app.desktop");
    EXPECT_EQ(defaultHtmlDesktopFile(), dataHome + "/applications/vendor/app.desktop");

    // A desktop-specific list comes before the plain one of the same folder.
    writeFile(configDir + "/testde-mimeapps.list", "[Default Applications]\ntext/html=sys.desktop\n");
    qputenv("XDG_CURRENT_DESKTOP", "TestDE");
    EXPECT_EQ(defaultHtmlDesktopFile(), dataDir + "/applications/sys.desktop");
    qunsetenv("XDG_CURRENT_DESKTOP");

    // An ID that is a path, or whose user copy hides it, is not used.
    writeDefault(configHome, "../applications/sys.desktop;hidden.desktop");
    writeFile(dataHome + "/applications/hidden.desktop", "[Desktop Entry]\nHidden=true\n");
    EXPECT_EQ(defaultHtmlDesktopFile(), dataHome + "/applications/vendor/app.desktop");
}

// When xdg-mime is on PATH its answer decides; when it answers nothing the mimeapps.list files still do.
TEST_F(BrowserLauncherTest, XdgMimeAnswerAndFallback)
{
    writeRecorder("asked");
    writeRecorder("listed");
    writeDesktopEntry(dataDir, "asked.desktop", "asked %u");
    writeDesktopEntry(dataDir, "listed.desktop", "listed %u");
    writeDefault(configHome, "listed.desktop");
    const QString xdgMime = bin + "/xdg-mime";
    const QByteArray queryLog = QFile::encodeName(dir.filePath("xdg-mime-args"));
    writeFile(xdgMime, "#!/bin/sh\nprintf '%s\\n' \"$*\" > '" + queryLog + "'\necho asked.desktop\n", true);

    launcher.OpenUrlInBrowser("U");
    EXPECT_EQ(waitForArgs("asked"), QStringList{"U"});
    QFile log(QString::fromLocal8Bit(queryLog));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), QByteArray("query default text/html\n"));

    writeFile(xdgMime, "#!/bin/sh\nexit 0\n");
    launcher.OpenUrlInBrowser("U");
    EXPECT_EQ(waitForArgs("listed"), QStringList{"U"});
    EXPECT_TRUE(boxes.shown.empty());
}

// The desktop's own xdg-mime, where installed, leads to some program or to the not-found message, never a hang.
TEST_F(BrowserLauncherTest, SystemXdgMimeIfInstalled)
{
    const QString system = QStandardPaths::findExecutable("xdg-mime", {"/usr/bin", "/bin"});
    if (system.isEmpty())
        GTEST_SKIP() << "xdg-mime is not installed";
    setEnv("PATH", bin + ":/usr/bin:/bin");
    recorderAsDefault();
    launcher.OpenUrlInBrowser("U");
    EXPECT_EQ(waitForArgs("rec"), QStringList{"U"});
    EXPECT_TRUE(boxes.shown.empty());
}

// Nothing associated: the not-found message, nothing started.
TEST_F(BrowserLauncherTest, NothingAssociated)
{
    writeDesktopEntry(dataHome, "rec.desktop", "rec %u");
    writeDefault(configHome, "missing.desktop");
    launcher.OpenUrlInBrowser("http://crm.example/");
    expectOnlyMessage("Could not find associated Browser", "Browser Not Found");
}

// An associated program that cannot be started: the launch-failure message.
TEST_F(BrowserLauncherTest, ProgramCannotBeStarted)
{
    writeFile(bin + "/notexec", "#!/bin/sh\n");
    QFile::setPermissions(bin + "/notexec", QFile::ReadOwner | QFile::WriteOwner);
    for (const QByteArray browser : {"/nonexistent/browser", "no-such-browser", "notexec", "\"unbalanced", ""}) {
        SCOPED_TRACE(browser.toStdString());
        boxes.shown.clear();
        setBrowser(browser);
        if (browser.isEmpty()) { // through a desktop entry instead
            writeDesktopEntry(dataHome, "gone.desktop", "/nonexistent/browser %u");
            writeDefault(configHome, "gone.desktop");
        }
        launcher.OpenUrlInBrowser("http://crm.example/");
        expectOnlyMessage("Web Page not Opened", "URL Failed");
    }
}

// A URL of shell syntax and a newline is exactly one argument, through BROWSER or a desktop entry, run by no shell.
TEST_F(BrowserLauncherTest, UrlIsOneArgumentWhateverItHolds)
{
    // The command substitution would leave a file behind if a shell ever saw it.
    const QString hostileUrl = QStringLiteral("http://crm.example/a b?q='1'&r=\"2\";$(touch ") + dir.filePath("pwned") +
                               ")`id`|x>y\nline2 %s %u \\ 着信";
    for (const char* browser : {"rec", ""}) {
        SCOPED_TRACE(browser);
        QFile::remove(recordPath("rec"));
        setBrowser(browser);
        *browser ? writeRecorder("rec") : recorderAsDefault(); // no desktop entry before
        launcher.OpenUrlInBrowser(hostileUrl);
        EXPECT_EQ(waitForArgs("rec"), QStringList{hostileUrl});
    }
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(QFile::exists(dir.filePath("pwned")));
}

// An empty URL starts the program with no URL argument at all, not with an empty one.
TEST_F(BrowserLauncherTest, EmptyUrlGivesNoArgument)
{
    recorderAsDefault();
    for (const char* browser : {"", "rec", "rec %s"}) {
        SCOPED_TRACE(browser);
        QFile::remove(recordPath("rec"));
        setBrowser(browser);
        launcher.OpenUrlInBrowser(QString());
        EXPECT_EQ(waitForArgs("rec"), QStringList{});
    }
    EXPECT_TRUE(boxes.shown.empty());
}

// A started program leads a session of its own and is waited for once it ends: none is left behind as a zombie.
TEST(DetachedProcess, OwnSessionAndNoZombie)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("stat");
    ASSERT_EQ(startDetachedProcess("sh", {"-c", "cat /proc/self/stat > \"$0.part\" && mv \"$0.part\" \"$0\"", out}),
              "");
    ASSERT_TRUE(processEventsUntil([&] { return QFile::exists(out); }, 5s));
    QFile stat(out);
    ASSERT_TRUE(stat.open(QIODevice::ReadOnly));
    // pid (comm) state ppid pgrp session ...: cat's, whose parent is the shell started
    const QStringList fields = QString::fromLatin1(stat.readAll()).section(u')', -1).split(u' ', Qt::SkipEmptyParts);
    EXPECT_EQ(fields.value(3), fields.value(1)) << "the session is led by the program started";
    const auto zombies = [] {
        int found = 0;
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs))
            if (QFile child("/proc/" + pid + "/stat"); child.open(QIODevice::ReadOnly)) {
                const QStringList f = QString::fromLatin1(child.readAll()).section(u')', -1).split(u' ');
                found += f.value(1) == "Z" && f.value(2).toLongLong() == QCoreApplication::applicationPid();
            }
        return found;
    };
    EXPECT_EQ(startDetachedProcess("/nonexistent/program", {}).isEmpty(), false);
    EXPECT_TRUE(processEventsUntil([&] { return zombies() == 0; }, 5s));
}
