#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>

/// The bytes of the file at `path`; a marker no real file in a test holds when it cannot be read.
inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Every file under `dir`, hidden ones too, relative to it and sorted.
inline QStringList filesUnder(const QString& dir)
{
    QStringList names;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(dir).relativeFilePath(it.next());
    names.sort();
    return names;
}
