#include "calls/PostgresHistoryStore.h"

#include "calls/CallAnnouncements.h"
#include "calls/HistoryReader.h"
#include "calls/HistorySpool.h"
#include "calls/PostgresUri.h"
#include "calls/SqliteHistoryStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <utility>

namespace {

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
        {QStringLiteral("connect_timeout"), QString::number(PostgresHistoryStore::kConnectTimeout.count())},
        {QStringLiteral("tcp_user_timeout"), QString::number(PostgresHistoryStore::kStatementTimeout.count())},
        {QStringLiteral("application_name"), QStringLiteral("chakushin")},
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

namespace {

// SQLSTATE classes of a row the table does not take: data exceptions (22) and integrity
// constraints (23). Any other failure is the server's or the connection's state.
bool refusesTheRow(const QSqlError& error)
{
    const QString state = error.nativeErrorCode();
    return state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23"));
}

const QString kInsert = QStringLiteral("INSERT INTO history (telnum, calldate) VALUES (?, ?) RETURNING txid_current()");

} // namespace

PostgresHistoryStore::PostgresHistoryStore(QString uri, Connection connection)
    : m_uri(std::move(uri))
    , m_connection(connection)
    , m_connectionName(QStringLiteral("chakushin-pg-") + QUuid::createUuid().toString(QUuid::Id128))
{}

PostgresHistoryStore::~PostgresHistoryStore()
{
    disconnect();
}

bool PostgresHistoryStore::fail(const QString& why)
{
    m_lastError = why;
    return false;
}

bool PostgresHistoryStore::connect()
{
    if (m_insert)
        return true;
    bool ok = false;
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        if (!db.isValid()) {
            why = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
        } else if (!configurePostgresConnection(db, m_uri, why)) {
        } else if (!db.open()) {
            why = db.lastError().text();
        } else if (QSqlQuery setup(db);
                   !setup.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeout.count()))) {
            why = setup.lastError().text();
        } else {
            m_insert = std::make_unique<QSqlQuery>(db);
            ok = m_insert->prepare(kInsert);
            why = m_insert->lastError().text();
        }
    }
    if (ok)
        return true;
    disconnect();
    return fail(why);
}

QSqlDatabase PostgresHistoryStore::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

void PostgresHistoryStore::disconnect()
{
    // The prepared statement goes before the connection it lives on.
    m_insert.reset();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

std::optional<QString> PostgresHistoryStore::transactionStatus(qint64 transaction)
{
    if (!connect())
        return std::nullopt;
    QSqlQuery status(database());
    bool asked = status.prepare(QStringLiteral("SELECT txid_status(?)"));
    if (asked) {
        status.addBindValue(transaction);
        asked = status.exec() && status.next();
    }
    if (!asked) {
        fail(status.lastError().text());
        status.clear();
        disconnect();
        return std::nullopt;
    }
    return status.value(0).isNull() ? QString() : status.value(0).toString();
}

bool PostgresHistoryStore::begin()
{
    // A kept connection may have broken since the last call (the server restarted): then
    // nothing was sent, and one fresh connection is tried before giving up.
    const bool reused = m_insert != nullptr;
    if (!connect())
        return false;
    if (database().transaction())
        return true;
    fail(database().lastError().text());
    disconnect();
    if (!reused || !connect())
        return false;
    if (database().transaction())
        return true;
    return fail(database().lastError().text());
}

HistoryStore::Outcome PostgresHistoryStore::append(HistoryRow& row)
{
    m_lastError.clear();
    const auto finish = [this](Outcome outcome) {
        if (m_connection == Connection::PerCall || outcome == Outcome::Unavailable)
            disconnect();
        return outcome;
    };

    // A write whose commit went unanswered is settled first: committed means written.
    if (row.unsettledTransaction != 0) {
        const std::optional<QString> status = transactionStatus(row.unsettledTransaction);
        if (!status || *status == QLatin1String("in progress"))
            return finish(Outcome::Unavailable);
        row.unsettledTransaction = 0;
        if (*status == QLatin1String("committed"))
            return finish(Outcome::Written);
        // Aborted, or too old for the server to remember: the row is written again.
    }

    if (!begin())
        return finish(Outcome::Unavailable);
    if (row.calldate.secsTo(QDateTime::currentDateTime()) >= kLateAfter.count()) {
        QSqlQuery late(database());
        if (!late.exec(QStringLiteral("SELECT set_config('%1', 'on', true)").arg(QLatin1String(kLateCallSetting)))) {
            fail(late.lastError().text());
            late.clear();
            database().rollback();
            return finish(Outcome::Unavailable);
        }
    }
    // Qt binds a null QString as SQL NULL; an empty number is still a number, written as text.
    m_insert->addBindValue(row.number.isNull() ? QString(0, QChar()) : row.number);
    m_insert->addBindValue(SqliteHistoryStore::dateTimeText(row.calldate));
    if (!m_insert->exec() || !m_insert->next()) {
        const QSqlError error = m_insert->lastError();
        fail(error.text());
        database().rollback();
        return finish(refusesTheRow(error) ? Outcome::Refused : Outcome::Unavailable);
    }
    const qint64 transaction = m_insert->value(0).toLongLong();
    m_insert->finish();
    // The row's spool entry learns the transaction before it commits: whatever ends the
    // program after this point, a later start asks the server instead of writing it again.
    if (row.spoolId != 0) {
        HistorySpool spool(row.spoolFile);
        if (!spool.noteTransaction(row.spoolId, transaction)) {
            fail(spool.lastError());
            database().rollback();
            return finish(Outcome::Unavailable);
        }
        row.unsettledTransaction = transaction;
    }
    if (database().commit()) {
        row.unsettledTransaction = 0;
        return finish(Outcome::Written);
    }

    // The commit failed or its answer was lost: ask the server on a new connection.
    const QString commitError = database().lastError().text();
    disconnect();
    const std::optional<QString> status = transactionStatus(transaction);
    if (status && *status == QLatin1String("committed")) {
        row.unsettledTransaction = 0;
        return finish(Outcome::Written);
    }
    row.unsettledTransaction = !status || *status == QLatin1String("in progress") ? transaction : 0;
    fail(commitError);
    return finish(Outcome::Unavailable);
}

bool createPostgresHistoryTable(const QString& uri, QString* errorText)
{
    const QString name = QStringLiteral("chakushin-pg-create-") + QUuid::createUuid().toString(QUuid::Id128);
    QString error;
    bool created = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid())
            error = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
        else if (configurePostgresConnection(db, uri, error) && !db.open())
            error = db.lastError().text();
        if (db.isOpen()) {
            // The table comes with its indexes or not at all.
            QSqlQuery create(db);
            created = db.transaction() &&
                      create.exec(QStringLiteral("CREATE TABLE history (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY "
                                                 "KEY, telnum text NOT NULL, calldate timestamp NOT NULL)"));
            for (const QString& statement : historyIndexStatements(true) + callAnnouncementStatements())
                created = created && create.exec(statement);
            if (!created)
                error = create.lastError().isValid() ? create.lastError().text() : db.lastError().text();
            create.clear();
            created = created ? db.commit() : (db.rollback(), false);
            if (!created && error.isEmpty())
                error = db.lastError().text();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!created && errorText)
        *errorText = error;
    return created;
}
