#include "calls/HistorySpool.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <utility>

QString HistorySpool::pathIn(const QString& appDir)
{
    return appDir.isEmpty() ? QString() : QDir(appDir).filePath(QStringLiteral("history-spool.db"));
}

HistorySpool::HistorySpool(QString path)
    : m_path(std::move(path))
    , m_connectionName(QStringLiteral("chakushin-spool-") + QUuid::createUuid().toString(QUuid::Id128))
{
    // The file is made with the first row that has to wait.
    if (m_path.isEmpty() || !QFile::exists(m_path) || !open())
        return;
    QSqlQuery read(QSqlDatabase::database(m_connectionName, false));
    if (!read.exec(QStringLiteral("SELECT id, telnum, calldate, unsettled FROM spool ORDER BY id"))) {
        m_lastError = read.lastError().text();
        return;
    }
    while (read.next())
        m_rows.push_back({read.value(0).toLongLong(),
                          {read.value(1).toString(), QDateTime::fromMSecsSinceEpoch(read.value(2).toLongLong()),
                           read.value(3).toLongLong()}});
}

HistorySpool::~HistorySpool()
{
    close();
}

bool HistorySpool::open()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
        m_open = db.open();
        if (!m_open)
            m_lastError = db.lastError().text();
    }
    // A row is in the spool once its commit has reached the disk. The time is kept as
    // milliseconds since the epoch, so the row's local date and time come back unchanged.
    m_open = m_open && execute(QStringLiteral("PRAGMA synchronous = FULL"), {}) &&
             execute(QStringLiteral("CREATE TABLE IF NOT EXISTS spool (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "telnum TEXT NOT NULL, calldate INTEGER NOT NULL, "
                                    "unsettled INTEGER NOT NULL DEFAULT 0)"),
                     {});
    if (!m_open)
        close(); // tried again with the next row
    return m_open;
}

void HistorySpool::close()
{
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool HistorySpool::execute(const QString& statement, const QVariantList& values, qint64* insertedId)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    bool ok = query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok) {
        m_lastError = query.lastError().text();
        return false;
    }
    if (insertedId)
        *insertedId = query.lastInsertId().toLongLong();
    return true;
}

bool HistorySpool::push(const HistoryRow& row)
{
    deleteWritten();
    Entry entry{0, row};
    // An empty number stays empty text, never NULL.
    const QString telnum = row.number.isNull() ? QString(0, QChar()) : row.number;
    if (!m_open && !m_path.isEmpty())
        open();
    const bool durable =
        m_open && execute(QStringLiteral("INSERT INTO spool (telnum, calldate, unsettled) VALUES (?, ?, ?)"),
                          {telnum, row.calldate.toMSecsSinceEpoch(), row.unsettledTransaction}, &entry.id);
    if (!durable && m_path.isEmpty())
        m_lastError = QStringLiteral("no application directory for the spool file");
    m_rows.push_back(std::move(entry));
    return durable;
}

void HistorySpool::updateFront(const HistoryRow& row)
{
    Entry& entry = m_rows.front();
    entry.row = row;
    if (entry.id != 0)
        execute(QStringLiteral("UPDATE spool SET unsettled = ? WHERE id = ?"), {row.unsettledTransaction, entry.id});
}

void HistorySpool::popFront()
{
    if (const qint64 id = m_rows.front().id; id != 0)
        m_written.append(id);
    m_rows.pop_front();
    deleteWritten();
}

void HistorySpool::deleteWritten()
{
    while (!m_written.isEmpty() && execute(QStringLiteral("DELETE FROM spool WHERE id = ?"), {m_written.constFirst()}))
        m_written.removeFirst();
}
