#include "startup/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

bool needsQuotes(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    return reserved.contains(c);
}

// The general escapes of a desktop-entry string value, applied after the Exec quoting.
QString escapeStringValue(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

} // namespace

QString desktopExecWord(const QString& word)
{
    QString doubled = word;
    doubled.replace(u'%', QStringLiteral("%%"));
    if (!word.isEmpty() && std::none_of(word.begin(), word.end(), needsQuotes))
        return doubled;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : doubled) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

QString desktopExecValue(const QStringList& command)
{
    QStringList words;
    for (const QString& word : command)
        words << desktopExecWord(word);
    return escapeStringValue(words.join(u' '));
}

QByteArray autostartEntry(const QString& program, const QString& appDir)
{
    const QString exec = desktopExecValue({program, QStringLiteral("--app-dir"), appDir});
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=chakushin\n"
                          "Name[ja]=着信\n"
                          "Comment=Opens the customer page of each incoming call\n"
                          "Comment[ja]=着信した電話番号で顧客ページを開きます\n"
                          "Exec=%1\n"
                          "Icon=chakushin\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(exec)
        .toUtf8();
}

QString autostartEntryPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/chakushin.desktop"));
}

AutostartResult enableAutostart(const QString& program, const QString& appDir)
{
    const QString path = autostartEntryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return {false, QStringLiteral("cannot make the folder of %1").arg(path)};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(autostartEntry(program, appDir)) < 0 || !file.commit())
        return {false, QStringLiteral("cannot write %1: %2").arg(path, file.errorString())};
    return {
        true,
        QStringLiteral("chakushin now starts with the session: %1 starts %2 --app-dir %3").arg(path, program, appDir)};
}

AutostartResult disableAutostart()
{
    const QString path = autostartEntryPath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return {true, QStringLiteral("chakushin did not start with the session (no %1)").arg(path)};
    QFile file(path);
    if (!file.remove())
        return {false, QStringLiteral("cannot remove %1: %2").arg(path, file.errorString())};
    return {true, QStringLiteral("chakushin no longer starts with the session (removed %1)").arg(path)};
}
