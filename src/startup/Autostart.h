#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// One word of a desktop entry's `Exec` key as written before the string-value escapes:
/// quoted when it holds a blank or a character the format reserves, with '%' doubled.
QString desktopExecWord(const QString& word);

/// The `Exec` value for `command` (program and arguments) as it stands in the file.
QString desktopExecValue(const QStringList& command);

/// The autostart entry that starts `program` with `appDir` as its application directory.
QByteArray autostartEntry(const QString& program, const QString& appDir);

/// $XDG_CONFIG_HOME/autostart/chakushin.desktop.
QString autostartEntryPath();

/// What `--autostart on|off` did, in a sentence for the user.
struct AutostartResult
{
    bool ok = false;
    QString message;
};

/// Writes the entry (replacing an older one of this program).
AutostartResult enableAutostart(const QString& program, const QString& appDir);
/// Removes the entry; no entry is no fault.
AutostartResult disableAutostart();
