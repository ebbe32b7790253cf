// Where an installed or a built program keeps its settings, and how a user's own directory
// is filled from the installed defaults.

#include "startup/ApplicationDirectory.h"

#include "history/SqliteHistoryStore.h"

#include "support/FileTree.h"
#include "support/HistoryRows.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

/// Installed defaults, read-only as a package leaves them.
struct Defaults
{
    Defaults()
    {
        writeFile(dir.filePath("settings.ini"), "[SYSTEM]\r\nappName=着信\r\n");
        writeFile(dir.filePath("icons/standby_on.png"), "on");
        writeFile(dir.filePath("icons/standby_off.png"), "off");
        for (const char* file : {"settings.ini", "icons/standby_on.png", "icons/standby_off.png"})
            QFile::setPermissions(dir.filePath(file), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    QString path() const { return dir.path(); }
    QTemporaryDir dir;
};

} // namespace

// Which directory each kind of start uses: --app-dir always; a build or an unpacked copy
// its own directory; an installed program (or one in a read-only place) the user's own,
// filled from the installed defaults or, lacking those, from the program's directory.
TEST(ApplicationDirectory, ChoiceByHowTheProgramIsPlaced)
{
    enum Where
    {
        Given,
        Executable,
        PerUser
    };
    enum From
    {
        Nothing,
        InstalledDefaults,
        ExecutableDir
    };
    // clang-format off
    const struct { const char* name; bool given, writable, exeHasSettings, defaultsHaveSettings; Where where; From from; } cases[] = {
        {"--app-dir over an installed program", true, false, false, true, Given, Nothing},
        {"--app-dir over a build", true, true, true, false, Given, Nothing},
        {"a build", false, true, true, false, Executable, Nothing},
        {"an unpacked copy beside installed defaults", false, true, true, true, Executable, Nothing},
        {"installed, directory not writable", false, false, false, true, PerUser, InstalledDefaults},
        {"installed, writable for root", false, true, false, true, PerUser, InstalledDefaults},
        {"read-only copy with its own settings", false, false, true, false, PerUser, ExecutableDir},
        {"a bare executable in a writable folder", false, true, false, false, Executable, Nothing},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const InstallFacts facts{"/opt/bin",
                                 c.writable,
                                 c.exeHasSettings,
                                 "/opt/share/chakushin",
                                 c.defaultsHaveSettings,
                                 "/home/u/.local/share/chakushin"};
        const DirectoryChoice choice =
            chooseApplicationDirectory(c.given ? std::optional<QString>("/srv/desk") : std::nullopt, facts);
        const QString paths[] = {"/srv/desk", "/opt/bin", "/home/u/.local/share/chakushin"};
        const QString froms[] = {"", "/opt/share/chakushin", "/opt/bin"};
        EXPECT_EQ(choice.path, paths[c.where]);
        EXPECT_EQ(choice.defaultsFrom, froms[c.from]);
        EXPECT_FALSE(choice.reason.isEmpty());
    }
}

// The first start makes the directory with the defaults, the user's to change, and a usable
// empty history database; later starts keep every file there, put back a missing icon, and
// never replace a history database the user removed.
TEST(ApplicationDirectory, FillsOnlyWhatIsMissing)
{
    Defaults defaults;
    QTemporaryDir home;
    const QString dir = home.filePath("share/chakushin");

    const FillReport first = fillFromDefaults(dir, defaults.path());
    EXPECT_TRUE(first.error.isEmpty()) << qPrintable(first.error);
    const QStringList all{"icons/standby_off.png", "icons/standby_on.png", "mdb/cti.mdb", "settings.ini"};
    QStringList created = first.created;
    created.sort();
    EXPECT_EQ(created, all);
    EXPECT_EQ(filesUnder(dir), all);
    EXPECT_EQ(bytesOf(dir + "/settings.ini"), bytesOf(defaults.path() + "/settings.ini"));
    EXPECT_EQ(bytesOf(dir + "/icons/standby_on.png"), "on");
    EXPECT_TRUE(QFile::permissions(dir + "/settings.ini") & QFile::WriteOwner);
    SqliteHistoryStore store(dir + "/mdb/cti.mdb");
    HistoryRow row{"0312345678", QDateTime::currentDateTime()};
    EXPECT_EQ(store.append(row), HistoryStore::Outcome::Written) << qPrintable(store.lastError());
    EXPECT_EQ(historyRows(dir + "/mdb/cti.mdb").size(), 1u);

    writeFile(dir + "/settings.ini", "[SYSTEM]\r\nappName=changed\r\n");
    writeFile(dir + "/icons/standby_off.png", "mine");
    QFile::remove(dir + "/icons/standby_on.png");
    QFile::remove(dir + "/mdb/cti.mdb");

    const FillReport second = fillFromDefaults(dir, defaults.path());
    EXPECT_TRUE(second.error.isEmpty()) << qPrintable(second.error);
    EXPECT_EQ(second.created, QStringList{"icons/standby_on.png"});
    EXPECT_EQ(filesUnder(dir), (QStringList{"icons/standby_off.png", "icons/standby_on.png", "settings.ini"}));
    EXPECT_EQ(bytesOf(dir + "/settings.ini"), "[SYSTEM]\r\nappName=changed\r\n");
    EXPECT_EQ(bytesOf(dir + "/icons/standby_off.png"), "mine");
}

// A directory that cannot be made, or defaults that cannot be read, are reported and leave
// no half-made file behind.
TEST(ApplicationDirectory, FailuresAreReported)
{
    Defaults defaults;
    QTemporaryDir home;
    writeFile(home.filePath("blocker"), "a file where a folder should be");
    const FillReport blocked = fillFromDefaults(home.filePath("blocker/chakushin"), defaults.path());
    EXPECT_FALSE(blocked.error.isEmpty());
    EXPECT_TRUE(blocked.created.isEmpty());

    const FillReport noDefaults = fillFromDefaults(home.filePath("desk"), home.filePath("missing"));
    EXPECT_FALSE(noDefaults.error.isEmpty());
    EXPECT_TRUE(filesUnder(home.filePath("desk")).isEmpty());
}
