#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

/// A program and its arguments, started directly (never through a shell).
struct BrowserCommand
{
    /// Empty when an association exists but its command line is unusable (unbalanced
    /// quotes, no words); starting such a command fails.
    QString program;
    QStringList arguments;
};

/// How long the desktop's own lookup (`xdg-mime`) may take before it counts as no answer.
inline constexpr std::chrono::milliseconds kXdgMimeTimeout{5000};

/// Splits a command line into words: blanks separate words; "..." quotes, inside which a
/// backslash escapes '"', '`', '$' and '\'; '...' quotes literally; outside quotes a
/// backslash escapes the next character. No expansion of any kind. Nothing on unbalanced
/// quotes or a trailing lone backslash.
std::optional<QStringList> splitCommandLine(const QString& line);

/// Undoes the escapes of a desktop-entry string value (\s \n \t \r \\), which apply
/// before the `Exec` quoting rules.
QString unescapeDesktopValue(const QString& value);

/// The command of a desktop entry's `Exec` value (already unescaped) for `url`: %u, %U,
/// %f and %F stand for the URL, %% for '%', other field codes are dropped; without any URL
/// field code the URL is appended. An empty URL gives no URL argument at all.
BrowserCommand commandFromExec(const QString& exec, const QString& url);

/// The command of one `BROWSER` entry for `url`: %s stands for the URL and %% for '%';
/// without %s the URL is appended. An empty URL gives no URL argument at all.
BrowserCommand commandFromBrowserEntry(const QString& entry, const QString& url);

/// The program associated with HTML documents, with `url` placed: the first entry of
/// `BROWSER` when set, otherwise the desktop's default application for text/html (asked of
/// `xdg-mime` when it is on PATH, else read from the mimeapps.list files). Nothing when no
/// program is associated.
std::optional<BrowserCommand> findBrowserCommand(const QString& url);

/// The desktop file of the default text/html application by the mimeapps.list files alone.
std::optional<QString> defaultHtmlDesktopFile();
