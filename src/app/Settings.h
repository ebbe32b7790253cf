#pragma once

#include "app/SharedState.h"

#include <QList>
#include <QString>

/// settings.ini in the application directory.
QString settingsFilePath(const SharedState& state);

/// One key of settings.ini; empty when the file, the section or the key is missing. A value
/// longer than the file can hold comes back cut (see IniFile::read and cutValuesNotice).
QString ReadIni(const SharedState& state, const QString& section, const QString& key);

/// Writes one key of settings.ini. Non-zero on success, 0 on failure (the file is then
/// unchanged). An empty value is written as a key with nothing after its equals sign.
int WriteIni(const SharedState& state, const QString& section, const QString& key, const QString& value);

/// A key of settings.ini, by its section and its name.
struct SettingKey
{
    QString section;
    QString key;
};

/// "[SECTION] key", as the messages name a key.
QString settingName(const QString& section, const QString& key);

/// The sentence a dialog shows when values it edits were read cut at IniFile::kMaxValueBytes
/// (ReadIni tells each such key once, on standard error and in the trace); empty when none
/// of `keys` was.
QString cutValuesNotice(const SharedState& state, const QList<SettingKey>& keys);

/// Reloads SystemSettings (all but `debugmode`), `adapterModel`, the selected model's
/// AdapterProfile, UrlSettings, FollowSettings and `adapterModels` from settings.ini.
bool LoadSettings(SharedState& state);

/// Reloads UrlSettings from settings.ini: the page, the history and what else a call does.
void LoadUrlSettings(SharedState& state);
/// Reloads FollowSettings and DeskSettings from settings.ini.
void LoadFollowSettings(SharedState& state);

/// The person at this desk: `[DESK] person`, or when that is blank the login user's full name
/// (else the login name).
QString personAtDesk(const SharedState& state);
/// The login user's full name as the system knows it, else the login name; empty when neither is known.
QString loginFullName();

/// Reloads AdapterProfile from the section `modelName`. Fails, changing nothing, while no
/// adapter is selected in memory. CTI queries 4 and 5 keep their previous values.
bool LoadAdapterProfile(SharedState& state, const QString& modelName);

/// With "READ": reads `appName` and `debugmode` and returns 1. Any other mode returns 0.
int ReadWriteAppSettings(SharedState& state, const QString& mode);

/// Developer trace: one line to the program's logging category, only while `debugmode`
/// reads as true.
void DebugLog(const SharedState& state, const QString& message);

/// Whether `debugmode` reads as a true boolean.
bool isDebugMode(const SharedState& state);

/// Whether this desk follows the office's calls: `[FOLLOW] enabled` exactly "True" and a URI.
bool followsCalls(const SharedState& state);

/// Whether it follows them and has no adapter of its own configured: its standby is then the
/// listening alone, and the start-up neither checks nor asks for an adapter.
bool followsWithoutAdapter(const SharedState& state);
