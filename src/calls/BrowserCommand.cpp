#include "calls/BrowserCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace {

const QString kHtmlMimeType = QStringLiteral("text/html");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// One word after field-code expansion. `urlCodes` are the code letters standing for the
// URL, `dropOthers` whether other codes vanish or stay literal.
struct Expanded
{
    QString text;
    bool hadUrl = false;
    bool onlyCodes = true;
};

Expanded expandWord(const QString& word, const QString& url, QStringView urlCodes, bool dropOthers)
{
    Expanded out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] != u'%' || i + 1 >= word.size()) {
            out.text += word[i];
            out.onlyCodes = false;
            continue;
        }
        const QChar code = word[++i];
        if (urlCodes.contains(code)) {
            out.text += url;
            out.hadUrl = true;
        } else if (code == u'%') {
            out.text += u'%';
            out.onlyCodes = false;
        } else if (!dropOthers) {
            out.text += u'%';
            out.text += code;
            out.onlyCodes = false;
        }
    }
    return out;
}

BrowserCommand expandCommand(const QString& line, const QString& url, QStringView urlCodes, bool dropOthers)
{
    const std::optional<QStringList> words = splitCommandLine(line);
    if (!words || words->isEmpty())
        return {};
    QStringList expanded;
    bool hadUrl = false;
    for (const QString& word : *words) {
        const Expanded e = expandWord(word, url, urlCodes, dropOthers);
        // The program is the first word as written; a URL there would start whatever the
        // URL happens to name.
        if (expanded.isEmpty() && (e.hadUrl || e.text.isEmpty()))
            return {};
        hadUrl = hadUrl || e.hadUrl;
        // A word made of field codes alone disappears when they expand to nothing, so an
        // empty URL or a dropped code leaves no empty argument behind.
        if (e.text.isEmpty() && e.onlyCodes && !word.isEmpty())
            continue;
        expanded << e.text;
    }
    if (!hadUrl && !url.isEmpty())
        expanded << url;
    BrowserCommand command;
    command.program = expanded.takeFirst();
    command.arguments = expanded;
    return command;
}

QString xdgHome(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : fallback;
}

QStringList xdgDirs(const char* variable, const QStringList& fallback)
{
    QStringList dirs;
    for (const QString& dir : qEnvironmentVariable(variable).split(u':', Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs << dir;
    }
    return dirs.isEmpty() ? fallback : dirs;
}

QStringList applicationDirs()
{
    QStringList dirs = {xdgHome("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
    dirs += xdgDirs("XDG_DATA_DIRS", {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    for (QString& dir : dirs)
        dir += QStringLiteral("/applications");
    return dirs;
}

// Key/value lines of one [group] of a desktop-entry style file.
QList<std::pair<QString, QString>> readGroup(const QString& path, const QString& group)
{
    QList<std::pair<QString, QString>> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    QTextStream in(&file);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inGroup = line == u'[' + group + u']';
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inGroup && eq > 0)
            entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return entries;
}

QString groupValue(const QList<std::pair<QString, QString>>& entries, const QString& key)
{
    for (const auto& [k, v] : entries) {
        if (k == key)
            return v;
    }
    return {};
}

// A desktop file ID "vendor-app.desktop" may live at vendor/app.desktop.
QString findInDir(const QString& dir, const QString& id)
{
    const QString direct = dir + u'/' + id;
    if (QFileInfo(direct).isFile())
        return direct;
    for (qsizetype dash = id.indexOf(u'-'); dash > 0; dash = id.indexOf(u'-', dash + 1)) {
        const QString sub = dir + u'/' + id.left(dash);
        if (QFileInfo(sub).isDir()) {
            const QString found = findInDir(sub, id.mid(dash + 1));
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

// The first usable desktop file for `id` in the application folders, in their order.
std::optional<QString> desktopFileForId(const QString& id)
{
    // An ID naming a path would let a mimeapps.list entry point outside the folders.
    if (!id.endsWith(QStringLiteral(".desktop")) || id.contains(u'/') || id.startsWith(u'.'))
        return std::nullopt;
    for (const QString& dir : applicationDirs()) {
        const QString path = findInDir(dir, id);
        if (path.isEmpty())
            continue;
        // The first file found for an ID shadows the others, also when it hides the entry.
        const auto entries = readGroup(path, QStringLiteral("Desktop Entry"));
        if (groupValue(entries, QStringLiteral("Hidden")).compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0)
            return std::nullopt;
        return path;
    }
    return std::nullopt;
}

QStringList mimeappsFiles()
{
    QStringList desktops;
    for (const QString& name : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        desktops << name.toLower();
    QStringList folders = {xdgHome("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))};
    folders += xdgDirs("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
    folders += applicationDirs();
    QStringList files;
    for (const QString& folder : folders) {
        for (const QString& desktop : desktops)
            files << folder + u'/' + desktop + QStringLiteral("-mimeapps.list");
        files << folder + QStringLiteral("/mimeapps.list");
    }
    return files;
}

std::optional<QString> askXdgMime()
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), kHtmlMimeType});
    if (!process.waitForFinished(int(kXdgMimeTimeout.count()))) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const QString id = QString::fromUtf8(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
    if (id.isEmpty())
        return std::nullopt;
    return desktopFileForId(id);
}

} // namespace

std::optional<QStringList> splitCommandLine(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (isBlank(c)) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            if (++i >= line.size())
                return std::nullopt;
            word += line[i];
        } else if (c == u'\'') {
            const qsizetype end = line.indexOf(u'\'', i + 1);
            if (end < 0)
                return std::nullopt;
            word += line.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == u'"') {
            for (++i;; ++i) {
                if (i >= line.size())
                    return std::nullopt;
                const QChar q = line[i];
                if (q == u'"')
                    break;
                if (q == u'\\' && i + 1 < line.size() && QStringView(u"\"`$\\").contains(line[i + 1]))
                    word += line[++i];
                else
                    word += q;
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QString unescapeDesktopValue(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 >= value.size()) {
            out += value[i];
            continue;
        }
        const QChar c = value[++i];
        if (c == u's')
            out += u' ';
        else if (c == u'n')
            out += u'\n';
        else if (c == u't')
            out += u'\t';
        else if (c == u'r')
            out += u'\r';
        else if (c == u'\\')
            out += u'\\';
        else
            out += QStringView(u"\\") + c;
    }
    return out;
}

BrowserCommand commandFromExec(const QString& exec, const QString& url)
{
    return expandCommand(exec, url, u"uUfF", true);
}

BrowserCommand commandFromBrowserEntry(const QString& entry, const QString& url)
{
    return expandCommand(entry, url, u"s", false);
}

std::optional<QString> defaultHtmlDesktopFile()
{
    for (const QString& list : mimeappsFiles()) {
        const auto entries = readGroup(list, QStringLiteral("Default Applications"));
        for (const QString& id : groupValue(entries, kHtmlMimeType).split(u';', Qt::SkipEmptyParts)) {
            if (const std::optional<QString> path = desktopFileForId(id.trimmed()))
                return path;
        }
    }
    return std::nullopt;
}

std::optional<BrowserCommand> findBrowserCommand(const QString& url)
{
    // Empty entries (a leading or doubled ':') name no program, so the first real one counts.
    const QStringList browsers = qEnvironmentVariable("BROWSER").split(u':', Qt::SkipEmptyParts);
    for (const QString& entry : browsers) {
        if (!entry.trimmed().isEmpty())
            return commandFromBrowserEntry(entry, url);
    }

    std::optional<QString> desktopFile = askXdgMime();
    if (!desktopFile)
        desktopFile = defaultHtmlDesktopFile();
    if (!desktopFile)
        return std::nullopt;
    const QString exec = groupValue(readGroup(*desktopFile, QStringLiteral("Desktop Entry")), QStringLiteral("Exec"));
    return commandFromExec(unescapeDesktopValue(exec), url);
}
