#include "history/PostgresHistoryStore.h"

#include "history/CallEventDatabase.h"
#include "history/HistoryDatabase.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <utility>

namespace {

// SQLSTATE classes of a row the table does not take: data exceptions (22) and integrity
// constraints (23). Any other failure is the server's or the connection's state.
bool refusesTheRow(const QSqlError& error)
{
    const QString state = error.nativeErrorCode();
    return state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23"));
}

// A write whose desk is cut off (a network drop, a power cut) before its commit arrives ends
// on the server within seconds, not when TCP gives up hours later: its row is then known not
// written. The keepalives are the server's side of the connection (ignored on a local socket).
QString sessionSettings()
{
    using namespace std::chrono;
    using namespace HistoryDatabase;
    return QStringLiteral("SET statement_timeout = %1; SET idle_in_transaction_session_timeout = %2; "
                          "SET tcp_keepalives_idle = %3; SET tcp_keepalives_interval = %4; "
                          "SET tcp_keepalives_count = %5")
        .arg(kStatementTimeout.count())
        .arg(duration_cast<milliseconds>(PostgresHistoryStore::kOpenWriteLimit).count())
        .arg(kKeepaliveIdle.count())
        .arg(kKeepaliveInterval.count())
        .arg(kKeepaliveCount);
}

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
        } else if (!HistoryDatabase::configurePostgresConnection(db, m_uri, why)) {
        } else if (!db.open()) {
            why = db.lastError().text();
        } else if (QSqlQuery setup(db); !setup.exec(sessionSettings())) {
            why = setup.lastError().text();
        } else if (!setup.exec(HistoryDatabase::nameColumnStatement(true))) {
            why = setup.lastError().text();
        } else {
            // A table made before names came keeps working without them.
            m_withName = setup.next();
            setup.finish();
            m_insert = std::make_unique<QSqlQuery>(db);
            ok = m_insert->prepare(HistoryDatabase::insertStatement(true, m_withName));
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
        // A transaction id this server has not reached yet (another server's) is unknown
        // here; what the server says of the row itself settles it then.
        const bool unknownHere = status.lastError().nativeErrorCode() == QLatin1String("22023");
        fail(status.lastError().text());
        status.clear();
        if (unknownHere)
            return QString();
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

HistoryStore::Settlement PostgresHistoryStore::settle(const HistoryRow& row)
{
    m_lastError.clear();
    const auto finish = [this](Settlement settlement) {
        if (m_connection == Connection::PerCall || settlement == Settlement::Unknown)
            disconnect();
        return settlement;
    };
    const std::optional<QString> status = transactionStatus(row.noted.mark);
    if (!status)
        return finish(Settlement::Unknown);
    if (*status == QLatin1String("in progress")) {
        fail(QStringLiteral("the write of transaction %1 is still open on the server").arg(row.noted.mark));
        return finish(Settlement::Open);
    }
    // The row itself, by the transaction that wrote it: after a fail-over to a standby the
    // same transaction id may have been given to another transaction, whose status says
    // nothing of this row.
    QSqlQuery lookup(database());
    bool asked = lookup.prepare(HistoryDatabase::writtenRowStatement(true));
    if (asked) {
        lookup.addBindValue(HistoryDatabase::dateTimeText(row.calldate));
        lookup.addBindValue(row.number.isNull() ? QString(0, QChar()) : row.number);
        lookup.addBindValue(QString::number(row.noted.mark & 0xffffffffLL));
        asked = lookup.exec() && lookup.next();
    }
    if (!asked) {
        const bool mayNotRead = lookup.lastError().nativeErrorCode() == QLatin1String("42501");
        fail(lookup.lastError().text());
        lookup.clear();
        // A desk allowed to insert only goes by the transaction's own status.
        if (mayNotRead && !status->isEmpty())
            return finish(*status == QLatin1String("committed") ? Settlement::Written : Settlement::NotWritten);
        return finish(Settlement::Unknown);
    }
    return finish(lookup.value(0).toBool() ? Settlement::Written : Settlement::NotWritten);
}

std::vector<HistoryStore::Outcome> PostgresHistoryStore::append(std::vector<HistoryRow>& rows,
                                                                const BeforeCommit& beforeCommit)
{
    std::vector<Outcome> outcomes;
    for (HistoryRow& row : rows) {
        std::vector<HistoryRow> one{row};
        const Outcome outcome = appendOne(one.front(), beforeCommit);
        row = one.front();
        outcomes.push_back(outcome);
        if (outcome == Outcome::Unavailable)
            break;
    }
    return outcomes;
}

HistoryStore::Outcome PostgresHistoryStore::appendOne(HistoryRow& row, const BeforeCommit& beforeCommit)
{
    m_lastError.clear();
    const auto finish = [this](Outcome outcome) {
        if (m_connection == Connection::PerCall || outcome == Outcome::Unavailable)
            disconnect();
        return outcome;
    };

    if (!begin())
        return finish(Outcome::Unavailable);
    if (row.calldate.secsTo(QDateTime::currentDateTime()) >= kLateAfter.count()) {
        QSqlQuery late(database());
        if (!late.exec(QStringLiteral("SELECT set_config('%1', 'on', true)")
                           .arg(QLatin1String(HistoryDatabase::kLateCallSetting)))) {
            fail(late.lastError().text());
            late.clear();
            database().rollback();
            return finish(Outcome::Unavailable);
        }
    }
    // Qt binds a null QString as SQL NULL; an empty number is still a number, written as text.
    m_insert->addBindValue(row.number.isNull() ? QString(0, QChar()) : row.number);
    m_insert->addBindValue(HistoryDatabase::dateTimeText(row.calldate));
    if (m_withName)
        m_insert->addBindValue(row.name); // a null name is bound as NULL
    if (!m_insert->exec() || !m_insert->next()) {
        const QSqlError error = m_insert->lastError();
        fail(error.text());
        database().rollback();
        return finish(refusesTheRow(error) ? Outcome::Refused : Outcome::Unavailable);
    }
    const qint64 transaction = m_insert->value(0).toLongLong();
    m_insert->finish();
    // The spool learns the transaction before it commits: whatever ends the program after
    // this point, a later start asks the server instead of writing the row again.
    row.noted = {m_uri, transaction};
    if (QString why; beforeCommit && !beforeCommit({row}, why)) {
        fail(why);
        row.noted = {};
        database().rollback();
        return finish(Outcome::Unavailable);
    }
    if (database().commit()) {
        row.noted = {};
        return finish(Outcome::Written);
    }

    // The commit failed or its answer was lost: ask the server on a new connection.
    const QString commitError = database().lastError().text();
    disconnect();
    switch (settle(row)) {
    case Settlement::Written:
        row.noted = {};
        return finish(Outcome::Written);
    case Settlement::NotWritten:
        row.noted = {};
        break;
    case Settlement::Open:
    case Settlement::Unknown:
        break;
    }
    fail(commitError);
    return finish(Outcome::Unavailable);
}

bool createPostgresHistoryTable(const QString& uri, QString* errorText, const QStringList& more)
{
    const QString name = QStringLiteral("chakushin-pg-create-") + QUuid::createUuid().toString(QUuid::Id128);
    QString error;
    bool created = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid())
            error = QStringLiteral("Qt's PostgreSQL driver is not installed (libqt6sql6-psql)");
        else if (HistoryDatabase::configurePostgresConnection(db, uri, error) && !db.open())
            error = db.lastError().text();
        if (db.isOpen()) {
            // The table comes with its indexes and its trigger or not at all.
            QSqlQuery create(db);
            created = db.transaction();
            for (const QString& statement :
                 HistoryDatabase::createStatements(true) + CallEventDatabase::createStatements(true) + more)
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
