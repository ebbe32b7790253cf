#include "history/CallEventDatabase.h"

namespace CallEventDatabase {

namespace {

// The conditions that close a message coming after it.
const QString kClosed = QStringLiteral("c.call_id = m.call_id AND c.kind IN ('calledback', 'done') AND c.id > m.id");

QString dateText(bool onServer, const QString& column)
{
    return onServer ? QStringLiteral("to_char(%1, 'YYYY-MM-DD HH24:MI:SS')").arg(column) : column;
}

QString eventColumns(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("e.id, e.call_id, e.kind, e.person, e.recipient, e.body, e.callback, %1, h.telnum, %2 "
                          "FROM call_events e LEFT JOIN history h ON h.%3 = e.call_id")
        .arg(dateText(history.onServer, QStringLiteral("e.written")),
             dateText(history.onServer, QStringLiteral("h.calldate")), history.key());
}

QString contains(bool onServer, const QString& column)
{
    return onServer ? QStringLiteral("strpos(%1, ?) > 0").arg(column) : QStringLiteral("instr(%1, ?) > 0").arg(column);
}

// A message for the bound person that nothing has closed since.
QString openMessages()
{
    return QStringLiteral("SELECT m.call_id FROM call_events m WHERE m.kind = 'message' AND m.recipient = ? AND "
                          "NOT EXISTS (SELECT 1 FROM call_events c WHERE %1)")
        .arg(kClosed);
}

} // namespace

QStringList createStatements(bool onServer)
{
    const QString kinds = QStringLiteral("CHECK (kind IN ('claim', 'message', 'calledback', 'done'))");
    QStringList statements;
    if (onServer) {
        statements << QStringLiteral("CREATE TABLE call_events (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                                     "call_id bigint NOT NULL, kind text NOT NULL %1, person text NOT NULL, "
                                     "recipient text NOT NULL DEFAULT '', body text NOT NULL DEFAULT '', "
                                     "callback boolean NOT NULL DEFAULT false, written timestamp NOT NULL)")
                          .arg(kinds)
                   << QStringLiteral("CREATE TABLE desk_people (person text PRIMARY KEY, seen timestamp NOT NULL)");
    } else {
        statements << QStringLiteral("CREATE TABLE call_events (id INTEGER PRIMARY KEY, call_id INTEGER NOT NULL, "
                                     "kind TEXT NOT NULL %1, person TEXT NOT NULL, recipient TEXT NOT NULL DEFAULT '', "
                                     "body TEXT NOT NULL DEFAULT '', callback INTEGER NOT NULL DEFAULT 0, "
                                     "written TEXT NOT NULL)")
                          .arg(kinds)
                   << QStringLiteral("CREATE TABLE desk_people (person TEXT PRIMARY KEY, seen TEXT NOT NULL)");
    }
    // One claim per call, whoever asks: the second insert finds the first in the index.
    statements << QStringLiteral("CREATE UNIQUE INDEX call_events_one_claim ON call_events (call_id) "
                                 "WHERE kind = 'claim'")
               << QStringLiteral("CREATE INDEX call_events_call ON call_events (call_id, id)")
               << QStringLiteral("CREATE INDEX call_events_recipient ON call_events (recipient, call_id) "
                                 "WHERE kind = 'message'");
    if (onServer)
        statements << announcementStatements();
    return statements;
}

QStringList announcementStatements()
{
    // Only the key is announced; the desk reads the event with its call. The function's names
    // resolve in pg_catalog only, whoever's session runs it.
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION chakushin_announce_event() RETURNS trigger LANGUAGE plpgsql\n"
                       "SET search_path = pg_catalog, pg_temp AS $$\n"
                       "BEGIN\n"
                       "  PERFORM pg_notify('%1', NEW.id::text);\n"
                       "  RETURN NULL;\n"
                       "END $$")
            .arg(QLatin1String(kChannel)),
        QStringLiteral("CREATE TRIGGER call_events_announce AFTER INSERT ON call_events FOR EACH ROW "
                       "EXECUTE FUNCTION chakushin_announce_event()"),
    };
}

QString existsStatement(bool onServer)
{
    return onServer ? QStringLiteral("SELECT 1 FROM pg_catalog.pg_class WHERE oid = to_regclass('call_events')")
                    : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'call_events'");
}

QString insertStatement(bool onServer)
{
    const QString insert =
        QStringLiteral("INSERT INTO call_events (call_id, kind, person, recipient, body, callback, written) "
                       "VALUES (?, ?, ?, ?, ?, ?, %1) ON CONFLICT DO NOTHING")
            .arg(onServer ? QStringLiteral("?::timestamp") : QStringLiteral("?"));
    return onServer ? insert + QStringLiteral(" RETURNING id") : insert;
}

QString callKeyStatement(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("SELECT %1 FROM history WHERE %2 AND calldate = %3 ORDER BY %1 DESC LIMIT 1")
        .arg(history.key(), history.numberIs(),
             history.onServer ? QStringLiteral("?::timestamp") : QStringLiteral("?"));
}

QString claimerStatement()
{
    return QStringLiteral("SELECT person FROM call_events WHERE call_id = ? AND kind = 'claim'");
}

QString eventsStatement(const HistoryDatabase::Reading& history, int count)
{
    return QStringLiteral("SELECT %1 WHERE e.id IN (%2) ORDER BY e.id")
        .arg(eventColumns(history), HistoryDatabase::boundValues(count));
}

QString eventsAboveStatement(const HistoryDatabase::Reading& history, int limit)
{
    return QStringLiteral("SELECT %1 WHERE e.id > ? ORDER BY e.id LIMIT %2").arg(eventColumns(history)).arg(limit);
}

QString newestStatement()
{
    return QStringLiteral("SELECT coalesce(max(id), 0) FROM call_events");
}

QString eventsOfCallsStatement(bool onServer, int count)
{
    return QStringLiteral("SELECT e.id, e.call_id, e.kind, e.person, e.recipient, e.body, e.callback, %1 "
                          "FROM call_events e WHERE e.call_id IN (%2) ORDER BY e.id")
        .arg(dateText(onServer, QStringLiteral("e.written")), HistoryDatabase::boundValues(count));
}

QString openCountStatement(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("SELECT count(*) FROM history WHERE %1 AND %2 AND %3")
        .arg(history.calledFrom(), history.calledBefore(), callIsOpen(history));
}

QString messageCountStatement(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("SELECT count(*) FROM history WHERE %1 AND %2 AND %3")
        .arg(messageOpenFor(history), history.calledFrom(), history.calledBefore());
}

QString callIsOpen(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("%1 NOT IN (SELECT call_id FROM call_events)").arg(history.key());
}

QString messageOpenFor(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("%1 IN (%2)").arg(history.key(), openMessages());
}

QString eventContains(const HistoryDatabase::Reading& history)
{
    return QStringLiteral("%1 IN (SELECT call_id FROM call_events WHERE %2 OR %3 OR %4)")
        .arg(history.key(), contains(history.onServer, QStringLiteral("body")),
             contains(history.onServer, QStringLiteral("person")),
             contains(history.onServer, QStringLiteral("recipient")));
}

QString personSeenStatement()
{
    return QStringLiteral("INSERT INTO desk_people (person, seen) VALUES (?, ?) "
                          "ON CONFLICT (person) DO UPDATE SET seen = excluded.seen");
}

QString peopleStatement()
{
    return QStringLiteral("SELECT person FROM desk_people ORDER BY seen DESC, person");
}

} // namespace CallEventDatabase
