#include "calls/CallerPage.h"

#include "calls/CallerNumber.h"

#include <QUrl>

#include <array>
#include <optional>

namespace {

QString encoded(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QString callerPageUrl(const QString& path1, const QString& number, const QDateTime& calldate, const QString& name)
{
    enum Placeholder : std::size_t
    {
        Number,
        Hyphen,
        E164,
        Date,
        Time,
        Name
    };
    // In the order of `Placeholder`.
    static const std::array<QLatin1String, 6> placeholders{
        QLatin1String("{number}"), QLatin1String("{number_hyphen}"), QLatin1String("{number_e164}"),
        QLatin1String("{date}"),   QLatin1String("{time}"),          QLatin1String("{name}"),
    };
    // The number is read by the numbering plan only for a URL that asks for one of its forms.
    std::optional<CallerNumber> caller;
    const auto value = [&](std::size_t placeholder) -> QString {
        if ((placeholder == Hyphen || placeholder == E164) && !caller)
            caller.emplace(number);
        switch (placeholder) {
        case Number:
            return number;
        case Hyphen:
            return caller->written();
        case E164:
            return caller->e164();
        case Date:
            return calldate.toString(QStringLiteral("yyyy-MM-dd"));
        case Name:
            return name;
        default:
            return calldate.toString(QStringLiteral("HH:mm:ss"));
        }
    };

    // One pass from left to right: what a value brings in is never read as a placeholder.
    QString url;
    bool placed = false;
    qsizetype from = 0;
    for (qsizetype at = path1.indexOf(u'{'); at >= 0; at = path1.indexOf(u'{', at + 1)) {
        for (std::size_t placeholder = 0; placeholder < placeholders.size(); ++placeholder) {
            const QLatin1String name = placeholders[placeholder];
            if (QStringView(path1).sliced(at).startsWith(name)) {
                url += QStringView(path1).sliced(from, at - from);
                url += encoded(value(placeholder));
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
