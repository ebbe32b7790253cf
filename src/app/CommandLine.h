#pragma once

#include <QDate>
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
    /// `--history`: open the call-history window, in the running instance if there is one.
    bool history = false;
    /// `--export-history FILE` ("-": standard output), with `--from DATE` and `--to DATE`
    /// (YYYY-MM-DD, both included): write the history's calls as CSV and exit.
    std::optional<QString> exportHistory;
    std::optional<QDate> exportFrom;
    std::optional<QDate> exportTo;
    /// `--phonebook`: open the phone book's window, in the running instance if there is one.
    bool phoneBook = false;
    /// `--import-phonebook FILE`: import a CSV or vCard file into the phone book and exit.
    std::optional<QString> importPhoneBook;
    /// `--export-phonebook FILE` ("-": standard output): write the phone book as vCard (a
    /// .vcf name) or CSV and exit.
    std::optional<QString> exportPhoneBook;
    /// `--follow URI` or `--follow off`: follow the office's calls at that history, or stop
    /// following them (the URI is kept); written to settings.ini, then exit.
    std::optional<QString> follow;
    /// `--help` and `--version`: print the usage or the version and exit.
    bool help = false;
    bool version = false;
    /// Text for the user when the arguments could not be understood.
    QString error;
    /// Whether an option that does its work and ends (or its usage error) was met: such a
    /// start needs no display. An option only the windowing system knows (-platform ...)
    /// stops the parse before anything after it is met.
    bool endsAtOnce = false;
};

/// What `--help` prints, and a wrong option on standard error: one line per option.
inline constexpr char kUsage[] =
    "usage: chakushin [--app-dir DIR] [--history] [--phonebook] [--create-history-db PATH|URI] [--autostart on|off]\n"
    "                 [--export-history [--from DATE] [--to DATE] FILE|-] [--import-phonebook FILE]\n"
    "                 [--export-phonebook FILE|-] [--follow URI|off] [--help] [--version]\n"
    "Opens the caller's page in the browser for each call a caller-ID adapter reports, and keeps a call history.\n"
    "A start while chakushin runs for this user (under the same title) brings its window to the front and ends;\n"
    "the options that exit leave a running chakushin alone and need no desktop session.\n"
    "\n"
    "  --app-dir DIR                 keep settings.ini, the icons and the history in DIR\n"
    "  --history                     open the call-history window (in the running chakushin, or alone)\n"
    "  --phonebook                   open the phone book window (in the running chakushin, or alone)\n"
    "  --create-history-db PATH|URI  make an empty history file, or the table in a postgresql:// database, and exit\n"
    "  --export-history FILE|-       write the call history as CSV to FILE (- for standard output), and exit;\n"
    "    [--from DATE] [--to DATE]   only the calls of these days (YYYY-MM-DD, both included)\n"
    "  --import-phonebook FILE       add a CSV or vCard file to the history's phone book (all or nothing),\n"
    "                                print what was added, merged and skipped, and exit\n"
    "  --export-phonebook FILE|-     write the phone book as vCard 3.0 (FILE.vcf) or CSV (- for standard output),\n"
    "                                and exit\n"
    "  --follow URI|off              follow the office's calls at this postgresql:// history from the next start\n"
    "                                (no adapter needed), or stop following them; and exit\n"
    "  --autostart on|off            add or remove the entry that starts chakushin with the desktop session, and exit\n"
    "  --help                        print this help and exit\n"
    "  --version                     print the version and exit\n";

/// Parses the arguments (the first one is the program itself).
CommandLine parseCommandLine(const QStringList& arguments);
