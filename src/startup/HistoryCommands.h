#pragma once

#include <QDate>
#include <QString>

#include <optional>

/// `--export-history`: writes the calls of the history the settings in `appDir` name (all,
/// or those from `from` to `to`) as CSV to `file`, or to standard output for "-". Needs no
/// display. Returns the exit status; says what went wrong on standard error.
int exportHistoryFromCommandLine(const QString& appDir, const QString& file, const std::optional<QDate>& from,
                                 const std::optional<QDate>& to);

/// `--history`: opens the call-history window in the running instance; with none running,
/// shows the window on its own (no adapter, no standby, a later start runs normally) until
/// it is closed. A second such window is not opened: the first comes forward. Needs the
/// application object made. Returns the exit status.
int showHistoryFromCommandLine(const QString& appDir);

/// `--phonebook`: opens the phone book's window in the running instance; with none running,
/// shows the window on its own over the phone book of the history the settings name (or of
/// the office's history this desk follows) until it is closed, as `--history` does.
int showPhoneBookFromCommandLine(const QString& appDir);

/// `--import-phonebook`: imports the CSV or vCard `file` into that phone book, all or
/// nothing, and prints what was added, merged and skipped. Needs no display. Returns the exit
/// status; says what went wrong on standard error.
int importPhoneBookFromCommandLine(const QString& appDir, const QString& file);

/// `--export-phonebook`: writes that phone book, sorted by reading then name, to `file` as
/// vCard 3.0 for a .vcf name and as CSV otherwise, or as CSV to standard output for "-".
/// Needs no display. Returns the exit status; says what went wrong on standard error.
int exportPhoneBookFromCommandLine(const QString& appDir, const QString& file);
