#include "calls/CallerPage.h"

#include <QUrl>

QString callerPageUrl(const QString& path1, const QString& number)
{
    return path1 + QString::fromLatin1(QUrl::toPercentEncoding(number));
}
