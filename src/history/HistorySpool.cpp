#include "history/HistorySpool.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <utility>

namespace {

// `unsettled` is the mark of a noted write (a PostgreSQL transaction id or an SQLite rowid)
// and `target` the history it went to; files of earlier versions lack `target`, and their
// marks are transaction ids on the history configured now. `name` is the caller's name, NULL
// for none; files of earlier versions lack it too.
const QString kSchema = QStringLiteral("CREATE TABLE IF NOT EXISTS spool (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                       "telnum TEXT NOT NULL, calldate INTEGER NOT NULL, "
                                       "unsettled INTEGER NOT NULL DEFAULT 0, target TEXT NOT NULL DEFAULT '', "
                                       "name TEXT)");

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
    // The spool is this program's own file and never joins another file's transaction, so it
    // keeps a write-ahead log: one fsync a commit. Only the speed depends on it: a file that
    // another connection holds while it is new stays in its rollback journal until the next
    // open. The time is kept as milliseconds since the epoch, so the row's local date and time
    // come back unchanged.
    if (m_open)
        execute(QStringLiteral("PRAGMA journal_mode = WAL"), {});
    m_open = m_open && execute(kSchema, {});
    if (m_open) {
        QSqlQuery columns(QSqlDatabase::database(m_connectionName, false));
        bool hasTarget = false;
        bool hasName = false;
        m_open = run(columns, QStringLiteral("PRAGMA table_info(spool)"), {}, m_lastError);
        while (m_open && columns.next()) {
            hasTarget = hasTarget || columns.value(1).toString() == QLatin1String("target");
            hasName = hasName || columns.value(1).toString() == QLatin1String("name");
        }
        columns.finish();
        if (m_open && !hasTarget)
            m_open = execute(QStringLiteral("ALTER TABLE spool ADD COLUMN target TEXT NOT NULL DEFAULT ''"), {});
        if (m_open && !hasName)
            m_open = execute(QStringLiteral("ALTER TABLE spool ADD COLUMN name TEXT"), {});
    }
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

bool HistorySpool::execute(const QString& statement, const QVariantList& values, qint64* insertedId, int* changed)
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!run(query, statement, values, m_lastError))
        return false;
    if (insertedId)
        *insertedId = query.lastInsertId().toLongLong();
    if (changed)
        *changed = query.numRowsAffected();
    return true;
}

template<typename Work> bool HistorySpool::inTransaction(const char* synchronous, Work&& work)
{
    if (!open() || !execute(QStringLiteral("PRAGMA synchronous = %1").arg(QLatin1String(synchronous)), {}) ||
        !execute(QStringLiteral("BEGIN IMMEDIATE"), {}))
        return false;
    if (std::forward<Work>(work)() && execute(QStringLiteral("COMMIT"), {}))
        return true;
    const QString why = m_lastError;
    execute(QStringLiteral("ROLLBACK"), {});
    m_lastError = why;
    return false;
}

bool HistorySpool::changeOne(const QString& statement, const QVariantList& values, qint64 id)
{
    int changed = 0;
    if (!execute(statement, values, nullptr, &changed))
        return false;
    if (changed == 1)
        return true;
    // Someone else has been at the file: nothing of this transaction may stand.
    m_lastError = QStringLiteral("spool entry %1: %2 entries changed instead of one").arg(id).arg(changed);
    return false;
}

std::vector<HistorySpool::Entry> HistorySpool::waiting()
{
    std::vector<Entry> entries;
    if (m_path.isEmpty() || !QFile::exists(m_path) || !open())
        return entries;
    QSqlQuery read(QSqlDatabase::database(m_connectionName, false));
    if (!read.exec(QStringLiteral("SELECT id, telnum, calldate, unsettled, target, name FROM spool ORDER BY id"))) {
        m_lastError = read.lastError().text();
        return entries;
    }
    while (read.next()) {
        const qint64 id = read.value(0).toLongLong();
        entries.push_back({id,
                           {read.value(1).toString(), QDateTime::fromMSecsSinceEpoch(read.value(2).toLongLong()),
                            NotedWrite{read.value(4).toString(), read.value(3).toLongLong()}, id,
                            read.value(5).isNull() ? QString() : read.value(5).toString()}});
    }
    return entries;
}

std::vector<qint64> HistorySpool::add(const std::vector<HistoryRow>& rows)
{
    std::vector<qint64> ids;
    // A row is in the spool once its commit has reached the disk.
    const bool added = inTransaction("FULL", [&] {
        for (const HistoryRow& row : rows) {
            // An empty number stays empty text, never NULL.
            const QString number = row.number.isNull() ? QString(0, QChar()) : row.number;
            qint64 id = 0;
            if (!execute(QStringLiteral(
                             "INSERT INTO spool (telnum, calldate, unsettled, target, name) VALUES (?, ?, ?, ?, ?)"),
                         {number, row.calldate.toMSecsSinceEpoch(), row.noted.mark,
                          row.noted.target.isNull() ? QString(0, QChar()) : row.noted.target, row.name},
                         &id))
                return false;
            ids.push_back(id);
        }
        return true;
    });
    if (!added)
        ids.clear();
    return ids;
}

qint64 HistorySpool::add(const HistoryRow& row)
{
    const std::vector<qint64> ids = add(std::vector<HistoryRow>{row});
    return ids.empty() ? 0 : ids.front();
}

bool HistorySpool::note(const std::vector<HistoryRow>& rows)
{
    return inTransaction("FULL", [&] {
        for (const HistoryRow& row : rows) {
            if (row.spoolId != 0 &&
                !changeOne(
                    QStringLiteral("UPDATE spool SET unsettled = ?, target = ? WHERE id = ?"),
                    {row.noted.mark, row.noted.target.isNull() ? QString(0, QChar()) : row.noted.target, row.spoolId},
                    row.spoolId))
                return false;
        }
        return true;
    });
}

bool HistorySpool::remove(const std::vector<qint64>& ids)
{
    return inTransaction("NORMAL", [&] {
        for (const qint64 id : ids)
            if (!changeOne(QStringLiteral("DELETE FROM spool WHERE id = ?"), {id}, id))
                return false;
        return true;
    });
}
