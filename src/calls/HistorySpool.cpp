#include "calls/HistorySpool.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <utility>

namespace {

const QString kSchema = QStringLiteral("CREATE TABLE IF NOT EXISTS spool (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                       "telnum TEXT NOT NULL, calldate INTEGER NOT NULL, "
                                       "unsettled INTEGER NOT NULL DEFAULT 0)");

bool run(QSqlQuery& query, const QString& statement, const QVariantList& values, QString& error)
{
    bool ok = query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        error = query.lastError().text();
    return ok;
}

} // namespace

QString HistorySpool::pathIn(const QString& appDir)
{
    return appDir.isEmpty() ? QString() : QDir(appDir).filePath(QStringLiteral("history-spool.db"));
}

HistorySpool::HistorySpool(QString path)
    : m_path(std::move(path))
    , m_connectionName(QStringLiteral("chakushin-spool-") + QUuid::createUuid().toString(QUuid::Id128))
{}

HistorySpool::~HistorySpool()
{
    close();
}

bool HistorySpool::open()
{
    if (m_open)
        return true;
    if (m_path.isEmpty()) {
        m_lastError = QStringLiteral("no application directory for the spool file");
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        m_open = db.open();
        if (!m_open)
            m_lastError = db.lastError().text();
    }
    // A row is in the spool once its commit has reached the disk. The rollback journal (not
    // WAL) lets one commit span the spool and a history file. The time is kept as
    // milliseconds since the epoch, so the row's local date and time come back unchanged.
    m_open = m_open && execute(QStringLiteral("PRAGMA synchronous = FULL"), {}) && execute(kSchema, {});
    if (!m_open)
        close(); // tried again with the next row
    return m_open;
}

void HistorySpool::close()
{
    m_open = false;
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool HistorySpool::execute(const QString& statement, const QVariantList& values, qint64* insertedId)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!run(query, statement, values, m_lastError))
        return false;
    if (insertedId)
        *insertedId = query.lastInsertId().toLongLong();
    return true;
}

std::vector<HistorySpool::Entry> HistorySpool::waiting()
{
    std::vector<Entry> entries;
    if (m_path.isEmpty() || !QFile::exists(m_path) || !open())
        return entries;
    QSqlQuery read(QSqlDatabase::database(m_connectionName, false));
    if (!read.exec(QStringLiteral("SELECT id, telnum, calldate, unsettled FROM spool ORDER BY id"))) {
        m_lastError = read.lastError().text();
        return entries;
    }
    while (read.next()) {
        const qint64 id = read.value(0).toLongLong();
        entries.push_back({id,
                           {read.value(1).toString(), QDateTime::fromMSecsSinceEpoch(read.value(2).toLongLong()),
                            read.value(3).toLongLong(), m_path, id}});
    }
    return entries;
}

qint64 HistorySpool::add(const HistoryRow& row)
{
    // An empty number stays empty text, never NULL.
    const QString telnum = row.number.isNull() ? QString(0, QChar()) : row.number;
    qint64 id = 0;
    if (!open() || !execute(QStringLiteral("INSERT INTO spool (telnum, calldate, unsettled) VALUES (?, ?, ?)"),
                            {telnum, row.calldate.toMSecsSinceEpoch(), row.unsettledTransaction}, &id))
        return 0;
    return id;
}

bool HistorySpool::noteTransaction(qint64 id, qint64 transaction)
{
    return open() && execute(QStringLiteral("UPDATE spool SET unsettled = ? WHERE id = ?"), {transaction, id});
}

bool HistorySpool::remove(qint64 id)
{
    return open() && execute(QStringLiteral("DELETE FROM spool WHERE id = ?"), {id});
}

bool HistorySpool::attach(QSqlDatabase& db, const QString& file, QString& error)
{
    QSqlQuery query(db);
    return run(query, QStringLiteral("ATTACH DATABASE ? AS spool"), {file}, error) &&
           run(query, QStringLiteral("PRAGMA spool.synchronous = FULL"), {}, error);
}

bool HistorySpool::takeOut(QSqlDatabase& db, qint64 id, QString& error)
{
    QSqlQuery query(db);
    return run(query, QStringLiteral("DELETE FROM spool.spool WHERE id = ?"), {id}, error);
}
