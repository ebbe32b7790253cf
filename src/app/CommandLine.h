#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// What the program was asked to do on its command line.
struct CommandLine
{
    /// Directory that holds settings.ini: `--app-dir DIR`, else the executable's directory.
    QString appDir;
    /// `--create-history-db PATH`: make an empty history database there and exit.
    std::optional<QString> createHistoryDb;
    /// Text for the user when the arguments could not be understood.
    QString error;
};

/// Parses the arguments (the first one is the program itself).
CommandLine parseCommandLine(const QStringList& arguments, const QString& executableDir);
