#include "support/TempAppDir.h"

#include "app/Settings.h"

#include <QFile>

#include <stdexcept>

#ifndef CHAKUSHIN_SHIPPED_SETTINGS
#error "CHAKUSHIN_SHIPPED_SETTINGS must name the settings.ini that ships"
#endif

TempAppDir::TempAppDir(const QString& existing)
    : m_path(existing)
{
    if (!existing.isEmpty())
        return;
    if (!m_own.emplace().isValid())
        throw std::runtime_error("cannot create a temporary application directory");
    m_path = m_own->path();
}

void TempAppDir::writeSettings(const QByteArray& bytes) const
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write settings.ini");
}

void TempAppDir::writeKeys(const QByteArray& ini) const
{
    const SharedState target = makeState();
    QString section;
    for (const QByteArray& line : ini.split('\n')) {
        const QString text = QString::fromUtf8(line).trimmed().replace(QStringLiteral("{dir}"), path());
        if (text.startsWith(u'[') && text.endsWith(u']'))
            section = text.mid(1, text.size() - 2);
        else if (const qsizetype equals = text.indexOf(u'='); equals > 0 && !section.isEmpty())
            WriteIni(target, section, text.left(equals), text.mid(equals + 1));
    }
}

void TempAppDir::copyShippedSettings() const
{
    QFile shipped(QStringLiteral(CHAKUSHIN_SHIPPED_SETTINGS));
    if (!shipped.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the shipped settings.ini");
    writeSettings(shipped.readAll());
}

QByteArray TempAppDir::settingsBytes() const
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

SharedState TempAppDir::makeState() const
{
    SharedState state;
    state.appDir = path();
    return state;
}
