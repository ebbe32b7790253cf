#pragma once

#include <QString>

/// `--follow URI` / `--follow off`: writes `[FOLLOW]` in the settings of `appDir` (for "off"
/// only `enabled`, so the URI stays for a later `--follow`), then tells on standard output
/// what the next start will do. A URI is then tried once: a server that cannot be reached,
/// or a history without the trigger that announces its calls, is reported on standard error
/// without undoing the setting. Needs no display. Returns the exit status: 2 for a value
/// that is neither "off" nor a postgresql:// URI, 1 when the settings cannot be written.
int setFollowingFromCommandLine(const QString& appDir, const QString& value);
