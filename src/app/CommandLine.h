#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// What the program was asked to do on its command line.
struct CommandLine
{
    /// `--app-dir DIR`: the directory that holds settings.ini, absolute and cleaned. Without
    /// it the program chooses one itself (see startup/ApplicationDirectory.h).
    std::optional<QString> appDir;
    /// `--create-history-db PATH`: make an empty history database there and exit.
    std::optional<QString> createHistoryDb;
    /// `--autostart on|off`: write or remove the session's autostart entry and exit.
    std::optional<bool> autostart;
    /// Text for the user when the arguments could not be understood.
    QString error;
    /// Whether an option that does its work and ends (or its usage error) was met: such a
    /// start needs no display. An option only the windowing system knows (-platform ...)
    /// stops the parse before anything after it is met.
    bool endsAtOnce = false;
};

/// The options as the usage line shows them.
inline constexpr char kUsage[] = "usage: chakushin [--app-dir DIR] [--create-history-db PATH] [--autostart on|off]";

/// Parses the arguments (the first one is the program itself).
CommandLine parseCommandLine(const QStringList& arguments);
