#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>

/// desktop-file-validate's complaints about the desktop entry at `path`: empty when it is
/// valid (hints do not count).
inline QString desktopEntryErrors(const QString& path)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty())
        return QStringLiteral("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {path});
    if (!process.waitForFinished(10000))
        return QStringLiteral("desktop-file-validate did not finish");
    const QString output = QString::fromUtf8(process.readAll());
    const bool clean = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 &&
                       !output.contains(QLatin1String("error:")) && !output.contains(QLatin1String("warning:"));
    return clean ? QString() : output;
}
