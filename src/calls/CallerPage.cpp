#include "calls/CallerPage.h"

#include "calls/CallerNumber.h"

#include <QUrl>

#include <array>
#include <functional>
#include <optional>

namespace {

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QString callerPageUrl(const QString& path1, const QString& number, const QDateTime& calldate)
{
    // The number is read by the numbering plan only for a URL that asks for one of its forms.
    std::optional<CallerNumber> caller;
    const auto read = [&]() -> const CallerNumber& {
        if (!caller)
            caller.emplace(number);
        return *caller;
    };
    const std::array<std::pair<QLatin1String, std::function<QString()>>, 5> placeholders{{
        {QLatin1String("{number}"),
         [&] {
             return number;
         }},
        {QLatin1String("{number_hyphen}"),
         [&] {
             return read().written();
         }},
        {QLatin1String("{number_e164}"),
         [&] {
             return read().e164();
         }},
        {QLatin1String("{date}"),
         [&] {
             return calldate.toString(QStringLiteral("yyyy-MM-dd"));
         }},
        {QLatin1String("{time}"),
         [&] {
             return calldate.toString(QStringLiteral("HH:mm:ss"));
         }},
    }};

    // One pass from left to right: what a value brings in is never read as a placeholder.
    QString url;
    bool placed = false;
    qsizetype from = 0;
    for (qsizetype at = path1.indexOf(u'{'); at >= 0; at = path1.indexOf(u'{', at + 1)) {
        for (const auto& [name, value] : placeholders) {
            if (QStringView(path1).sliced(at).startsWith(name)) {
                url += QStringView(path1).sliced(from, at - from);
                url += encoded(value());
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
