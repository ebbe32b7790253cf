#include "app/SettingText.h"

#include <QDir>

std::optional<bool> readAsBoolean(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return number != 0.0;
}

std::optional<long long> readAsNumber(const QString& text)
{
    bool ok = false;
    const long long number = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return number;
}

QString pathInAppDir(const QString& appDir, const QString& storedPath)
{
    QString joined = appDir + storedPath;
    joined.replace(u'\\', u'/');
    return QDir::cleanPath(joined);
}
