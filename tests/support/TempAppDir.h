#pragma once

#include "app/SharedState.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/// A fresh application directory for one test, with its own settings.ini.
class TempAppDir
{
public:
    TempAppDir();

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString settingsPath() const { return filePath(QStringLiteral("settings.ini")); }

    /// Writes settings.ini with exactly these bytes.
    void writeSettings(const QByteArray& bytes) const;
    /// Copies the settings.ini that ships with the program.
    void copyShippedSettings() const;
    QByteArray settingsBytes() const;

    /// A SharedState whose application directory is this one.
    SharedState makeState() const;

private:
    QTemporaryDir m_dir;
};
