#include "startup/ApplicationDirectory.h"

#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBookDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#ifndef CHAKUSHIN_DEFAULTS_FROM_BIN
#error "CHAKUSHIN_DEFAULTS_FROM_BIN must give the installed defaults relative to the executable"
#endif

namespace {

const QString kSettings = QStringLiteral("settings.ini");
const QString kIcons = QStringLiteral("icons");
const QString kHistory = QStringLiteral("mdb/cti.mdb");

enum class Made
{
    Created,
    AlreadyThere,
    Failed
};

// The copy must be on the disk before its name is, or a power cut could leave an empty
// settings.ini that no later start replaces.
bool syncToDisk(QFile& file)
{
#ifdef Q_OS_UNIX
    return ::fsync(file.handle()) == 0;
#else
    Q_UNUSED(file);
    return true;
#endif
}

// Copies `from` to `to` through a temporary file in the target folder, renamed into place
// only when complete. The rename refuses an existing target, so a file that appeared
// meanwhile (another start doing the same) is kept. The copy is the user's own: 0600,
// whatever the read-only original had.
Made copyNew(const QString& from, const QString& to, QString& error)
{
    if (QFileInfo::exists(to) || QFileInfo(to).isSymLink())
        return Made::AlreadyThere;
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(from, source.errorString());
        return Made::Failed;
    }
    QTemporaryFile copy(to + QStringLiteral(".XXXXXX"));
    if (!copy.open() || copy.write(source.readAll()) < 0 || !copy.flush() || !syncToDisk(copy)) {
        error = QStringLiteral("cannot write %1: %2").arg(to, copy.errorString());
        return Made::Failed;
    }
    if (!copy.rename(to)) {
        if (QFileInfo::exists(to))
            return Made::AlreadyThere;
        error = QStringLiteral("cannot write %1: %2").arg(to, copy.errorString());
        return Made::Failed;
    }
    copy.setAutoRemove(false);
    return Made::Created;
}

// An empty history database, made under a temporary name and renamed into place.
Made createHistoryNew(const QString& path, QString& error)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return Made::AlreadyThere;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot make the folder of %1").arg(path);
        return Made::Failed;
    }
    const QString building = QStringLiteral("%1.new-%2").arg(path).arg(QCoreApplication::applicationPid());
    QFile::remove(building);
    if (!createHistoryDatabase(building, &error, PhoneBookDatabase::createStatements(false)))
        return Made::Failed;
    if (!QFile::rename(building, path)) {
        QFile::remove(building);
        if (QFileInfo::exists(path))
            return Made::AlreadyThere;
        error = QStringLiteral("cannot rename the new history database to %1").arg(path);
        return Made::Failed;
    }
    return Made::Created;
}

bool isWritableDirectory(const QString& path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

} // namespace

DirectoryChoice chooseApplicationDirectory(const std::optional<QString>& given, const InstallFacts& facts)
{
    if (given)
        return {*given, {}, QStringLiteral("given with --app-dir")};
    const bool installed = !facts.executableDirHasSettings && facts.defaultsHaveSettings;
    if (facts.executableDirWritable && !installed) {
        return {facts.executableDir,
                {},
                QStringLiteral("the program's own directory %1 is writable").arg(facts.executableDir)};
    }
    // A read-only copy that carries its own settings.ini (a shared network folder, say)
    // is its own source of defaults.
    const QString defaults = facts.defaultsHaveSettings ? facts.defaultsDir : facts.executableDir;
    const QString why = facts.executableDirWritable
                            ? QStringLiteral("the program is installed at %1").arg(facts.executableDir)
                            : QStringLiteral("the program's own directory %1 is not writable").arg(facts.executableDir);
    return {facts.perUserDir, defaults, QStringLiteral("%1; missing files come from %2").arg(why, defaults)};
}

InstallFacts installFacts(const QString& executableDir)
{
    InstallFacts facts;
    facts.executableDir = QDir::cleanPath(executableDir);
    facts.executableDirWritable = isWritableDirectory(facts.executableDir);
    facts.executableDirHasSettings = QFileInfo(QDir(facts.executableDir).filePath(kSettings)).isFile();
    facts.defaultsDir =
        QDir::cleanPath(QDir(facts.executableDir).filePath(QStringLiteral(CHAKUSHIN_DEFAULTS_FROM_BIN)));
    facts.defaultsHaveSettings = QFileInfo(QDir(facts.defaultsDir).filePath(kSettings)).isFile();
    facts.perUserDir = QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    return facts;
}

FillReport fillFromDefaults(const QString& dir, const QString& defaultsDir)
{
    FillReport report;
    const QDir target(dir);
    const QDir defaults(defaultsDir);
    if (!QDir().mkpath(dir)) {
        report.error = QStringLiteral("cannot make the directory %1").arg(dir);
        return report;
    }
    const auto note = [&](Made made, const QString& name) {
        if (made == Made::Created)
            report.created << name;
        return made;
    };

    const Made settings =
        note(copyNew(defaults.filePath(kSettings), target.filePath(kSettings), report.error), kSettings);
    if (settings == Made::Failed)
        return report;

    if (defaults.exists(kIcons)) {
        if (!target.mkpath(kIcons)) {
            report.error = QStringLiteral("cannot make the directory %1").arg(target.filePath(kIcons));
            return report;
        }
        QDirIterator icons(defaults.filePath(kIcons), QDir::Files);
        while (icons.hasNext()) {
            const QString name = kIcons + u'/' + QFileInfo(icons.next()).fileName();
            if (note(copyNew(defaults.filePath(name), target.filePath(name), report.error), name) == Made::Failed)
                return report;
        }
    }

    // The database belongs to a first start. One that went missing later may have been
    // moved on purpose; an empty file in its place would only hide that.
    if (settings == Made::Created)
        note(createHistoryNew(target.filePath(kHistory), report.error), kHistory);
    return report;
}

ApplicationDirectory resolveApplicationDirectory(const std::optional<QString>& given, const QString& executableDir)
{
    const DirectoryChoice choice = chooseApplicationDirectory(given, installFacts(executableDir));
    ApplicationDirectory result{
        choice.path, {QStringLiteral("application directory %1: %2").arg(choice.path, choice.reason)}, {}};
    if (choice.defaultsFrom.isEmpty())
        return result;
    const FillReport fill = fillFromDefaults(choice.path, choice.defaultsFrom);
    for (const QString& name : fill.created)
        result.trace << QStringLiteral("made %1 in %2 from the defaults").arg(name, choice.path);
    result.error = fill.error;
    return result;
}
