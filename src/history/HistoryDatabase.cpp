#include "history/HistoryDatabase.h"

#include "history/PostgresUri.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>

namespace HistoryDatabase {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// A value in libpq's keyword='value' form.
QString quoted(QString value)
{
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

bool hasParameter(const PostgresTarget& target, const QString& name)
{
    for (const auto& parameter : target.parameters)
        if (parameter.first == name)
            return true;
    return false;
}

} // namespace

bool onServer(const QString& target)
{
    return isPostgresUri(target);
}

QString boundValues(int count)
{
    QStringList marks;
    marks.fill(QStringLiteral("?"), count);
    return marks.join(QLatin1Char(','));
}

QString dateTimeText(const QDateTime& localDateTime)
{
    // SQLite's date functions read exactly this form; a bound QDateTime would be stored with
    // a "T" and milliseconds, and the C locale keeps the digits ASCII.
    return QLocale::c().toString(localDateTime.toLocalTime(), kDateFormat);
}

QDateTime dateTimeFromText(const QString& text)
{
    return QDateTime::fromString(text, kDateFormat);
}

// A plain file name would make SQLite create an empty database wherever the settings point;
// a file: URI with mode=rw or ro never creates. Every byte outside the unreserved set is
// percent-encoded, so '?', '#' and '%' in a folder or file name stay part of the name
// instead of starting URI syntax.
QString sqliteFileUri(const QString& path, const QString& mode)
{
    const QByteArray absolute = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    // "file://" plus an absolute path gives an empty authority whatever the path begins with.
    return QStringLiteral("file://") + QString::fromLatin1(absolute.toPercentEncoding("/")) + QStringLiteral("?mode=") +
           mode;
}

bool configureSqliteConnection(QSqlDatabase& db, const QString& path, const QString& mode,
                               std::chrono::milliseconds busyTimeout, QString& error)
{
    if (path.contains(QChar::Null)) {
        error = QStringLiteral("database file name contains a NUL character");
        return false;
    }
    db.setDatabaseName(sqliteFileUri(path, mode));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeout.count()));
    return true;
}

// The host, user, password and database go through Qt's own fields, which quote them; the
// rest becomes Qt's connect options, which Qt joins with blanks in place of every ';', so a
// value holding one cannot be passed on.
bool configurePostgresConnection(QSqlDatabase& db, const QString& uri, QString& error)
{
    std::optional<PostgresTarget> target = parsePostgresUri(uri, &error);
    if (!target)
        return false;
    db.setHostName(target->host);
    db.setUserName(target->user);
    db.setPassword(target->password);
    db.setDatabaseName(target->dbname);

    QList<QPair<QString, QString>> options = target->parameters;
    if (!target->port.isEmpty())
        options.append({QStringLiteral("port"), target->port});
    const QList<QPair<QString, QString>> defaults = {
        {QStringLiteral("connect_timeout"), QString::number(kConnectTimeout.count())},
        {QStringLiteral("tcp_user_timeout"), QString::number(kStatementTimeout.count())},
        {QStringLiteral("application_name"), QStringLiteral("chakushin")},
        {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QString::number(kKeepaliveIdle.count())},
        {QStringLiteral("keepalives_interval"), QString::number(kKeepaliveInterval.count())},
        {QStringLiteral("keepalives_count"), QString::number(kKeepaliveCount)},
    };
    for (const auto& option : defaults)
        if (!hasParameter(*target, option.first))
            options.append(option);
    QStringList connectOptions;
    for (const auto& [name, value] : options) {
        if (value.contains(QLatin1Char(';'))) {
            error = QStringLiteral("the value of %1 holds a ';', which cannot be passed on").arg(name);
            return false;
        }
        connectOptions << name + QLatin1Char('=') + quoted(value);
    }
    db.setConnectOptions(connectOptions.join(QLatin1Char(';')));
    return true;
}

QStringList createStatements(bool onServer)
{
    // On SQLite "calldate" is declared TEXT: SQLite has no date type, and a DATETIME
    // declaration would give the column numeric affinity, which turns digit-only text into
    // numbers. The integer key keeps the processing order stable even across VACUUM.
    if (onServer)
        return QStringList{QStringLiteral("CREATE TABLE history (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                                          "telnum text NOT NULL, calldate timestamp NOT NULL, name text)")} +
               indexStatements(true) + announcementStatements();
    return QStringList{QStringLiteral("CREATE TABLE history (id INTEGER PRIMARY KEY, telnum TEXT NOT NULL, "
                                      "calldate TEXT NOT NULL, name TEXT)")} +
           indexStatements(false);
}

QString addNameStatement()
{
    return QStringLiteral("ALTER TABLE history ADD COLUMN name text");
}

QString nameColumnStatement(bool onServer)
{
    return onServer ? QStringLiteral("SELECT 1 FROM pg_catalog.pg_attribute WHERE attrelid = to_regclass('history') "
                                     "AND attname = 'name' AND NOT attisdropped")
                    : QStringLiteral("SELECT 1 FROM pragma_table_info('history') WHERE name = 'name'");
}

QStringList indexStatements(bool onServer)
{
    if (onServer)
        return {QStringLiteral("CREATE INDEX history_calldate ON history (calldate, id) INCLUDE (telnum)"),
                QStringLiteral("CREATE INDEX history_telnum ON history (telnum)")};
    // An SQLite index ends with the rowid: (calldate, telnum) serves the order and the search.
    return {QStringLiteral("CREATE INDEX history_calldate ON history (calldate, telnum)"),
            QStringLiteral("CREATE INDEX history_telnum ON history (telnum)")};
}

QStringList announcementStatements()
{
    // The number and the name are cut short rather than let an oversized payload refuse the
    // row; the name is read through the row's JSON, so that the function serves a table made
    // before the column as well (json_strip_nulls leaves it out there). The function
    // runs in the session of whoever inserts: its names resolve in pg_catalog only, so that no
    // schema earlier in that session's search path can put a function of its own in their place.
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION chakushin_announce_call() RETURNS trigger LANGUAGE plpgsql\n"
                       "SET search_path = pg_catalog, pg_temp AS $$\n"
                       "BEGIN\n"
                       "  PERFORM pg_notify('%1', json_strip_nulls(json_build_object('id', NEW.id,\n"
                       "    'number', left(NEW.telnum, %2),\n"
                       "    'calldate', to_char(NEW.calldate, 'YYYY-MM-DD HH24:MI:SS'),\n"
                       "    'late', coalesce(current_setting('%3', true), '') = 'on',\n"
                       "    'name', left(to_jsonb(NEW) ->> 'name', %2)))::text);\n"
                       "  RETURN NULL;\n"
                       "END $$")
            .arg(QLatin1String(kCallChannel))
            .arg(kAnnouncedNumberLength)
            .arg(QLatin1String(kLateCallSetting)),
        QStringLiteral("CREATE TRIGGER history_announce_call AFTER INSERT ON history FOR EACH ROW EXECUTE FUNCTION "
                       "chakushin_announce_call()"),
    };
}

QString insertStatement(bool onServer, bool withName)
{
    const QString insert = withName ? QStringLiteral("INSERT INTO history (telnum, calldate, name) VALUES (?, ?, ?)")
                                    : QStringLiteral("INSERT INTO history (telnum, calldate) VALUES (?, ?)");
    return onServer ? insert + QStringLiteral(" RETURNING txid_current()") : insert;
}

QString writtenRowStatement(bool onServer)
{
    // On the server the calldate index finds the candidates.
    return onServer ? QStringLiteral("SELECT EXISTS (SELECT 1 FROM history WHERE calldate = ? AND telnum = ? AND "
                                     "xmin = CAST(? AS xid))")
                    : QStringLiteral("SELECT telnum, calldate FROM history WHERE rowid = ?");
}

QString Reading::key() const
{
    // Every SQLite table without WITHOUT ROWID has a rowid, an integer key column aliases it.
    return onServer ? QStringLiteral("id") : QStringLiteral("rowid");
}

QString Reading::numberContains() const
{
    // A plain substring test: no pattern characters to escape, and digits need no collation.
    return onServer ? QStringLiteral("strpos(telnum, ?) > 0") : QStringLiteral("instr(telnum, ?) > 0");
}

QString Reading::nameContains() const
{
    return onServer ? QStringLiteral("strpos(name, ?) > 0") : QStringLiteral("instr(name, ?) > 0");
}

QString Reading::numberIn(int numbers) const
{
    return QStringLiteral("telnum IN (%1)").arg(boundValues(numbers));
}

QString Reading::numberIs() const
{
    return QStringLiteral("telnum = ?");
}

// Dates are compared as the history's own text on SQLite and as timestamps on the server.
QString Reading::calledFrom() const
{
    return onServer ? QStringLiteral("calldate >= ?::timestamp") : QStringLiteral("calldate >= ?");
}

QString Reading::calledBefore() const
{
    return onServer ? QStringLiteral("calldate < ?::timestamp") : QStringLiteral("calldate < ?");
}

QString Reading::after() const
{
    // The row's place in the order (date, then key), written so that the date's index can
    // narrow the scan.
    const QString date = onServer ? QStringLiteral("?::timestamp") : QStringLiteral("?");
    return QStringLiteral("calldate <= %1 AND (calldate < %1 OR %2 < ?)").arg(date, key());
}

QString Reading::rows(const QString& where, bool byKey, int limit) const
{
    // The server's own text of a timestamp keeps any fraction of a second, which the order and
    // the next page's start need; the row shows it to the second. The names given to them
    // keep ORDER BY on the column itself, where its index serves.
    const QString dates = onServer ? QStringLiteral("to_char(calldate, 'YYYY-MM-DD HH24:MI:SS') AS shown_at, "
                                                    "calldate::text AS ordered_at")
                                   : QStringLiteral("calldate AS shown_at, calldate AS ordered_at");
    const QString orderBy = byKey ? QStringLiteral("history.%1 DESC").arg(key())
                                  : QStringLiteral("history.calldate DESC, history.%1 DESC").arg(key());
    const QString name = withName ? QStringLiteral("name") : QStringLiteral("NULL");
    return QStringLiteral("SELECT %1, telnum, %2, %3 FROM history%4 ORDER BY %5 LIMIT %6")
        .arg(key(), dates, name, where, orderBy)
        .arg(limit);
}

QString Reading::counts(int numbers) const
{
    return QStringLiteral("SELECT telnum, count(*) FROM history WHERE telnum IN (%1) GROUP BY telnum")
        .arg(boundValues(numbers));
}

QString Reading::newestKey() const
{
    return QStringLiteral("SELECT max(%1) FROM history").arg(key());
}

QString newestIdStatement()
{
    return QStringLiteral("SELECT coalesce(max(id), 0) FROM history");
}

QString rowsAboveStatement(int limit)
{
    return QStringLiteral("SELECT id, telnum, to_char(calldate, 'YYYY-MM-DD HH24:MI:SS') FROM history "
                          "WHERE id > $1::bigint ORDER BY id LIMIT %1")
        .arg(limit);
}

} // namespace HistoryDatabase
