#include "history/CallAnnouncements.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<AnnouncedCall> parseCallAnnouncement(const QByteArray& payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue number = object.value(QLatin1String("number"));
    const QDateTime calldate = HistoryDatabase::dateTimeFromText(object.value(QLatin1String("calldate")).toString());
    if (!id.isDouble() || !number.isString() || !calldate.isValid())
        return std::nullopt;
    const QJsonValue name = object.value(QLatin1String("name"));
    return AnnouncedCall{id.toInteger(), number.toString(), calldate, object.value(QLatin1String("late")).toBool(),
                         name.isString() ? name.toString() : QString()};
}
