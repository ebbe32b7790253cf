#include "history/CallAnnouncements.h"

#include <QJsonDocument>
#include <QJsonObject>

QStringList callAnnouncementStatements()
{
    // The number is cut short rather than let an oversized payload refuse the row. The function
    // runs in the session of whoever inserts: its names resolve in pg_catalog only, so that no
    // schema earlier in that session's search path can put a function of its own in their place.
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION chakushin_announce_call() RETURNS trigger LANGUAGE plpgsql\n"
                       "SET search_path = pg_catalog, pg_temp AS $$\n"
                       "BEGIN\n"
                       "  PERFORM pg_notify('%1', json_build_object('id', NEW.id, 'number', left(NEW.telnum, %2),\n"
                       "    'calldate', to_char(NEW.calldate, 'YYYY-MM-DD HH24:MI:SS'),\n"
                       "    'late', coalesce(current_setting('%3', true), '') = 'on')::text);\n"
                       "  RETURN NULL;\n"
                       "END $$")
            .arg(QLatin1String(kCallChannel))
            .arg(kAnnouncedNumberLength)
            .arg(QLatin1String(kLateCallSetting)),
        QStringLiteral("CREATE TRIGGER history_announce_call AFTER INSERT ON history FOR EACH ROW EXECUTE FUNCTION "
                       "chakushin_announce_call()"),
    };
}

std::optional<AnnouncedCall> parseCallAnnouncement(const QByteArray& payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue number = object.value(QLatin1String("number"));
    const QDateTime calldate = QDateTime::fromString(object.value(QLatin1String("calldate")).toString(),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!id.isDouble() || !number.isString() || !calldate.isValid())
        return std::nullopt;
    return AnnouncedCall{id.toInteger(), number.toString(), calldate, object.value(QLatin1String("late")).toBool()};
}
