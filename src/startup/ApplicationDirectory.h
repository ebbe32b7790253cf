#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// Where the program looks for what it needs to choose its application directory (the
/// folder of settings.ini, the icons and, by default, the history database).
struct InstallFacts
{
    QString executableDir;
    bool executableDirWritable = false;
    bool executableDirHasSettings = false;
    /// The defaults an installation ships, read-only: `<prefix>/share/chakushin`.
    QString defaultsDir;
    bool defaultsHaveSettings = false;
    /// The user's own directory for an installed program (~/.local/share/chakushin).
    QString perUserDir;
};

/// The application directory chosen, and why.
struct DirectoryChoice
{
    QString path;
    /// Where a per-user directory takes its missing defaults from; empty when `path` is
    /// used as it is.
    QString defaultsFrom;
    /// One sentence for the debug trace.
    QString reason;
};

/// `--app-dir` wins. Otherwise a build or an unpacked copy keeps using the executable's
/// own directory; an installed program (the executable's directory not writable, or
/// holding no settings.ini while installed defaults exist beside it) uses the per-user
/// directory.
DirectoryChoice chooseApplicationDirectory(const std::optional<QString>& given, const InstallFacts& facts);

/// The facts of this program as installed (or built) at `executableDir`.
InstallFacts installFacts(const QString& executableDir);

/// What `fillFromDefaults` did.
struct FillReport
{
    /// The files made, relative to the directory.
    QStringList created;
    /// Empty when every missing file could be made.
    QString error;
};

/// Makes `dir` and copies what is missing there from `defaultsDir`: settings.ini and the
/// files under icons/. When settings.ini is new, an empty history database at mdb/cti.mdb
/// comes with it. A file already there is never touched; each file appears whole or not
/// at all, so a start that dies half-way leaves nothing broken for the next one.
FillReport fillFromDefaults(const QString& dir, const QString& defaultsDir);

/// The application directory for this start, made ready, with lines for the debug trace.
struct ApplicationDirectory
{
    QString path;
    QStringList trace;
    /// Empty unless a per-user directory could not be made ready.
    QString error;
};

ApplicationDirectory resolveApplicationDirectory(const std::optional<QString>& given, const QString& executableDir);
