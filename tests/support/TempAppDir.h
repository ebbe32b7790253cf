#pragma once

#include "app/SharedState.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <optional>

/// A fresh application directory for one test, with its own settings.ini.
class TempAppDir
{
public:
    /// Given `existing`, another's directory instead, used as it is and left behind.
    explicit TempAppDir(const QString& existing = {});

    QString path() const { return m_path; }
    QString filePath(const QString& name) const { return QDir(m_path).filePath(name); }
    QString settingsPath() const { return filePath(QStringLiteral("settings.ini")); }

    /// Writes settings.ini with exactly these bytes.
    void writeSettings(const QByteArray& bytes) const;
    /// Writes the keys of `ini` (INI text) over settings.ini one by one; `{dir}` stands for this directory.
    void writeKeys(const QByteArray& ini) const;
    /// Copies the settings.ini that ships with the program.
    void copyShippedSettings() const;
    QByteArray settingsBytes() const;

    /// A SharedState whose application directory is this one.
    SharedState makeState() const;

private:
    std::optional<QTemporaryDir> m_own;
    QString m_path;
};
