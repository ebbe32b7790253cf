#include "history/TableSession.h"

#include "history/HistoryDatabase.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {

// How long a write waits for another connection to let go of an SQLite file.
constexpr std::chrono::milliseconds kBusyTimeout{5000};

} // namespace

TableSession::TableSession(QString target, Table table)
    : m_target(std::move(target))
    , m_table(std::move(table))
    , m_onServer(HistoryDatabase::onServer(m_target))
    , m_connectionName(QStringLiteral("chakushin-table-") + QUuid::createUuid().toString(QUuid::Id128))
{}

TableSession::~TableSession()
{
    disconnect();
}

QSqlDatabase TableSession::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool TableSession::fail(const QString& why)
{
    m_lastError = why;
    return false;
}

bool TableSession::run(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    bool ok = true;
    if (values.isEmpty()) {
        ok = query.exec(statement);
    } else {
        ok = query.prepare(statement);
        for (const QVariant& value : values)
            query.addBindValue(value);
        ok = ok && query.exec();
    }
    if (!ok) {
        m_lastError = query.lastError().text();
        if (!database().isOpen() || query.lastError().type() == QSqlError::ConnectionError)
            m_connected = false;
    }
    return ok;
}

bool TableSession::connect()
{
    if (m_connected && database().isOpen())
        return true;
    disconnect();
    m_missing = false;
    if (m_target.isEmpty())
        return fail(QStringLiteral("no history database is set"));
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_onServer ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                    m_connectionName);
        const bool configured =
            m_onServer
                ? HistoryDatabase::configurePostgresConnection(db, m_target, why)
                : HistoryDatabase::configureSqliteConnection(db, m_target, QStringLiteral("rw"), kBusyTimeout, why);
        if (!db.isValid())
            return fail(QStringLiteral("Qt's SQL driver for the history is not installed"));
        if (!configured)
            return fail(why);
        if (!db.open())
            return fail(db.lastError().text());
    }
    m_connected = true;
    QSqlQuery query(database());
    if (m_onServer && !run(query, QStringLiteral("SET statement_timeout = %1").arg(m_table.statementTimeout.count())))
        return fail(m_lastError);
    if (!run(query, m_table.existsStatement))
        return fail(m_lastError);
    if (!query.next()) {
        m_missing = true;
        m_connected = false;
        return fail(QStringLiteral("the history database has no %1").arg(m_table.name));
    }
    return true;
}

void TableSession::disconnect()
{
    m_connected = false;
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool TableSession::ping()
{
    if (!m_connected)
        return false;
    QSqlQuery query(database());
    if (run(query, QStringLiteral("SELECT 1")))
        return true;
    m_connected = false;
    return false;
}

bool TableSession::listen(const QString& channel, std::function<void(qint64 key)> announced)
{
    if (!m_onServer)
        return true;
    QSqlDriver* driver = database().driver();
    QObject::disconnect(driver, &QSqlDriver::notification, nullptr, nullptr);
    QObject::connect(driver, &QSqlDriver::notification, driver,
                     [channel, announced = std::move(announced)](const QString& name, QSqlDriver::NotificationSource,
                                                                 const QVariant& payload) {
                         bool ok = false;
                         const qint64 key = payload.toString().toLongLong(&ok);
                         if (name == channel && ok)
                             announced(key);
                     });
    if (!driver->subscribeToNotification(channel))
        return fail(driver->lastError().text());
    return true;
}

bool TableSession::inTransaction(const std::function<bool()>& work)
{
    if (!connect())
        return false;
    QSqlQuery query(database());
    if (!run(query, m_onServer ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    if (work() && run(query, QStringLiteral("COMMIT")))
        return true;
    const QString why = m_lastError;
    QSqlQuery rollback(database());
    run(rollback, QStringLiteral("ROLLBACK"));
    m_lastError = why;
    return false;
}
