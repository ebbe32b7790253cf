#include "calls/CallerPage.h"

#include <QUrl>

#include <array>

namespace {

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QString callerPageUrl(const QString& path1, const QString& number, const QDateTime& calldate)
{
    const std::array<std::pair<QLatin1String, QString>, 3> placeholders{{
        {QLatin1String("{number}"), number},
        {QLatin1String("{date}"), calldate.toString(QStringLiteral("yyyy-MM-dd"))},
        {QLatin1String("{time}"), calldate.toString(QStringLiteral("HH:mm:ss"))},
    }};

    // One pass from left to right: what a value brings in is never read as a placeholder.
    QString url;
    bool placed = false;
    qsizetype from = 0;
    for (qsizetype at = path1.indexOf(u'{'); at >= 0; at = path1.indexOf(u'{', at + 1)) {
        for (const auto& [name, value] : placeholders) {
            if (QStringView(path1).sliced(at).startsWith(name)) {
                url += QStringView(path1).sliced(from, at - from);
                url += encoded(value);
                from = at + name.size();
                placed = true;
                break;
            }
        }
    }
    if (!placed)
        return path1 + encoded(number);
    url += QStringView(path1).sliced(from);
    return url;
}
