#include "support/TempAppDir.h"

#include <QFile>

#include <stdexcept>

#ifndef CHAKUSHIN_SHIPPED_SETTINGS
#error "CHAKUSHIN_SHIPPED_SETTINGS must name the settings.ini that ships"
#endif

TempAppDir::TempAppDir()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary application directory");
}

void TempAppDir::writeSettings(const QByteArray& bytes) const
{
    QFile file(settingsPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write settings.ini");
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
