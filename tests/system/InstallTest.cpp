// The program as an installation leaves it: installed into a temporary prefix that is then
// made read-only, and started by a user who has never run it.

#include "history/SqliteHistoryStore.h"

#include "support/DesktopEntryValidation.h"
#include "support/FileTree.h"
#include "support/HistoryRows.h"
#include "support/QStringPrinter.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#if !defined(CHAKUSHIN_CMAKE) || !defined(CHAKUSHIN_BUILD_DIR)
#error "CHAKUSHIN_CMAKE and CHAKUSHIN_BUILD_DIR must name cmake and the build to install"
#endif

using namespace std::chrono_literals;

namespace {

void setWritable(const QString& root, bool writable)
{
    QStringList paths{root};
    for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        paths << it.next();
    const auto write = QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
    for (const QString& path : paths) {
        const QFile::Permissions now = QFile::permissions(path);
        QFile::setPermissions(path, writable ? now | QFile::WriteOwner | QFile::WriteUser : now & ~write);
    }
}

/// A temporary prefix with the build installed into it, read-only while the test runs.
struct Installation
{
    Installation()
    {
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(CHAKUSHIN_CMAKE, {"--install", CHAKUSHIN_BUILD_DIR, "--prefix", prefix.path()});
        installed = install.waitForFinished(120000) && install.exitCode() == 0;
        log = QString::fromLocal8Bit(install.readAll());
        setWritable(prefix.path(), false);
    }
    ~Installation() { setWritable(prefix.path(), true); }

    QString path(const QString& relative) const { return QDir(prefix.path()).filePath(relative); }

    QTemporaryDir prefix;
    bool installed = false;
    QString log;
};

/// A user who has never started the program: own home, own runtime directory.
struct NewUser
{
    NewUser()
    {
        QDir(home.path()).mkpath("run");
        QFile::setPermissions(home.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert("HOME", home.path());
        environment.insert("XDG_RUNTIME_DIR", home.filePath("run"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "BROWSER"})
            environment.remove(variable);
    }
    QString ownDir(const QString& relative = {}) const
    {
        return QDir(home.filePath(".local/share/chakushin")).filePath(relative);
    }

    /// Runs `program` with `arguments` to its end; its exit code, -1 when it did not end normally.
    int run(const QString& program, const QStringList& arguments, QString* output = nullptr) const
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        const bool ended = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        return ended ? process.exitCode() : -1;
    }

    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

/// Starts `program`, waits until `ready(stderr so far)` holds, then ends it; whether it did.
template<typename Ready> bool startUntil(const NewUser& user, const QString& program, Ready ready)
{
    QProcess process;
    process.setProcessEnvironment(user.environment);
    process.start(program, {});
    QByteArray seen;
    const QDeadlineTimer deadline(30s);
    bool done = false;
    while (!done && !deadline.hasExpired() && process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(50);
        seen += process.readAllStandardError();
        done = ready(seen);
    }
    process.kill();
    process.waitForFinished(10000);
    if (!done)
        ADD_FAILURE() << "the program did not get there; it said: " << seen.constData();
    return done;
}

} // namespace

// The first start of the installed program makes the user's own directory with the
// installed settings and icons and an empty history database, and writes nothing into the
// installation; a later start keeps the settings the user changed there.
TEST(Installation, FirstAndSecondStartOfTheInstalledProgram)
{
    Installation installation;
    ASSERT_TRUE(installation.installed) << qPrintable(installation.log);
    const QStringList installedFiles = filesUnder(installation.prefix.path());
    for (const char* file : {"bin/chakushin", "bin/chakushin-adapter-sim", "share/chakushin/settings.ini",
                             "share/chakushin/icons/standby_on.png", "share/applications/chakushin.desktop",
                             "share/icons/hicolor/64x64/apps/chakushin.png"})
        EXPECT_TRUE(installedFiles.contains(file)) << file;
    const QString program = installation.path("bin/chakushin");

    NewUser user;
    ASSERT_TRUE(startUntil(user, program, [&](const QByteArray&) {
        return QFile::exists(user.ownDir("mdb/cti.mdb")) && QFile::exists(user.ownDir("history-spool.db.lock"));
    }));
    EXPECT_EQ(filesUnder(user.ownDir()),
              (QStringList{"history-spool.db.lock", "icons/chakushin.png", "icons/standby_off.png",
                           "icons/standby_on.png", "mdb/cti.mdb", "settings.ini"}));
    EXPECT_EQ(bytesOf(user.ownDir("settings.ini")), bytesOf(installation.path("share/chakushin/settings.ini")));
    EXPECT_EQ(bytesOf(user.ownDir("icons/standby_on.png")),
              bytesOf(installation.path("share/chakushin/icons/standby_on.png")));
    SqliteHistoryStore history(user.ownDir("mdb/cti.mdb"));
    HistoryRow row{"0312345678", QDateTime::currentDateTime()};
    EXPECT_EQ(history.append(row), HistoryStore::Outcome::Written) << qPrintable(history.lastError());
    EXPECT_EQ(historyRows(user.ownDir("mdb/cti.mdb")).size(), 1u);

    // The user's change, with the trace on so that the second start says where it looks.
    QByteArray changed = bytesOf(user.ownDir("settings.ini"));
    ASSERT_TRUE(changed.contains("debugmode=False"));
    changed.replace("debugmode=False", "debugmode=True");
    QFile settings(user.ownDir("settings.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate) && settings.write(changed) == changed.size());
    settings.close();
    const QByteArray traceLine = ("application directory " + user.ownDir()).toLocal8Bit();
    EXPECT_TRUE(startUntil(user, program, [&](const QByteArray& seen) { return seen.contains(traceLine); }));
    EXPECT_EQ(bytesOf(user.ownDir("settings.ini")), changed);
    EXPECT_EQ(historyRows(user.ownDir("mdb/cti.mdb")).size(), 1u);

    EXPECT_EQ(filesUnder(installation.prefix.path()), installedFiles);
}

// The menu entry is valid. Without a display, --autostart on writes a valid entry that
// starts the installed program with the user's own directory (or the one given, whatever
// its characters), and off removes it; a second off is no fault.
TEST(Installation, MenuAndAutostartEntries)
{
    Installation installation;
    ASSERT_TRUE(installation.installed) << qPrintable(installation.log);
    EXPECT_EQ(desktopEntryErrors(installation.path("share/applications/chakushin.desktop")), QString());

    NewUser user;
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        user.environment.remove(variable);
    const QString program = installation.path("bin/chakushin");
    const QString entry = user.home.filePath(".config/autostart/chakushin.desktop");
    QString said;
    ASSERT_EQ(user.run(program, {"--autostart", "on"}, &said), 0) << qPrintable(said);
    EXPECT_TRUE(said.contains(entry)) << qPrintable(said);
    EXPECT_EQ(desktopEntryErrors(entry), QString());
    const QString exec = "Exec=" + program + " --app-dir " + user.ownDir() + "\n";
    EXPECT_TRUE(QString::fromUtf8(bytesOf(entry)).contains(exec)) << qPrintable(QString::fromUtf8(bytesOf(entry)));

    ASSERT_EQ(user.run(program, {"--app-dir", "/srv/50% \"off\" $x\\y`z` 山;|", "--autostart", "on"}), 0);
    EXPECT_EQ(desktopEntryErrors(entry), QString());

    ASSERT_EQ(user.run(program, {"--autostart", "off"}, &said), 0) << qPrintable(said);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(user.run(program, {"--autostart", "off"}), 0);
}
