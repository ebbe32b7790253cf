#include "history/SqliteHistoryStore.h"

#include "history/CallEventDatabase.h"
#include "history/HistoryDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <functional>
#include <utility>

namespace {

// Runs `work` on a connection of its own to the existing file at `path` and removes the
// connection again, so no two calls share state and Qt never warns about a connection
// still in use.
bool withConnection(const QString& path, std::chrono::milliseconds busyTimeout, QString& error,
                    const std::function<bool(QSqlDatabase&, QString&)>& work)
{
    if (path.isEmpty()) {
        error = QStringLiteral("no database file named");
        return false;
    }
    const QString connectionName = QStringLiteral("chakushin-history-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        if (!HistoryDatabase::configureSqliteConnection(db, path, QStringLiteral("rw"), busyTimeout, error)) {
        } else if (!db.open()) {
            error = db.lastError().text();
        } else {
            ok = work(db, error);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return ok;
}

bool execute(QSqlQuery& query, const QString& statement, QString& error)
{
    if (query.exec(statement))
        return true;
    error = query.lastError().text();
    return false;
}

// A commit only returns once the journal and the database are on the disk, whatever the
// file's own default says: a row reported written must survive a power cut.
bool requireFullSync(QSqlDatabase& db, QString& error)
{
    QSqlQuery pragma(db);
    return execute(pragma, QStringLiteral("PRAGMA synchronous = FULL"), error);
}

// SQLite's result codes for a row the table does not take: a constraint (CHECK, NOT NULL,
// UNIQUE), a value too big, a type the column refuses. Everything else (a missing file,
// table or column, a lock, a full disk, an I/O error) is the database's state, which can
// change.
bool refusesTheRow(const QSqlError& error)
{
    constexpr int kTooBig = 18;
    constexpr int kConstraint = 19;
    constexpr int kMismatch = 20;
    bool isNumber = false;
    // An extended result code carries the primary one in its low byte.
    const int primary = error.nativeErrorCode().toInt(&isNumber) & 0xff;
    return isNumber && (primary == kTooBig || primary == kConstraint || primary == kMismatch);
}

} // namespace

SqliteHistoryStore::SqliteHistoryStore(QString path, std::chrono::milliseconds busyTimeout)
    : m_path(std::move(path))
    , m_busyTimeout(busyTimeout)
{}

std::vector<HistoryStore::Outcome> SqliteHistoryStore::append(std::vector<HistoryRow>& rows,
                                                              const BeforeCommit& beforeCommit)
{
    m_lastError.clear();
    std::vector<Outcome> outcomes(rows.size(), Outcome::Unavailable);
    // The rows and their notes: the spool learns each row's rowid before the commit, so that
    // whatever ends the program from here on, the row is looked up instead of written twice.
    // The spool never joins this transaction, so neither file waits for the other's disk.
    bool committing = false;
    const bool committed = withConnection(m_path, m_busyTimeout, m_lastError, [&](QSqlDatabase& db, QString& error) {
        QSqlQuery statement(db);
        if (!requireFullSync(db, error) || !execute(statement, QStringLiteral("BEGIN IMMEDIATE"), error))
            return false;
        // A table made before names came keeps working without them.
        if (!execute(statement, HistoryDatabase::nameColumnStatement(false), error))
            return false;
        const bool withName = statement.next();
        statement.finish();
        QSqlQuery insert(db);
        bool ok = insert.prepare(HistoryDatabase::insertStatement(false, withName));
        std::vector<HistoryRow> inserted;
        for (std::size_t i = 0; ok && i < rows.size(); ++i) {
            // Qt binds a null QString as SQL NULL; an empty number is still a number, written as text.
            insert.addBindValue(rows[i].number.isNull() ? QString(0, QChar()) : rows[i].number);
            insert.addBindValue(HistoryDatabase::dateTimeText(rows[i].calldate));
            if (withName)
                insert.addBindValue(rows[i].name); // a null name is bound as NULL
            if (insert.exec()) {
                outcomes[i] = Outcome::Written;
                rows[i].noted = {m_path, insert.lastInsertId().toLongLong()};
                inserted.push_back(rows[i]);
            } else if (refusesTheRow(insert.lastError())) {
                // The statement is undone; the transaction and the other rows go on.
                outcomes[i] = Outcome::Refused;
                error = insert.lastError().text();
            } else {
                error = insert.lastError().text();
                ok = false;
            }
        }
        if (!ok && error.isEmpty())
            error = insert.lastError().text();
        insert.finish();
        ok = ok && (inserted.empty() || !beforeCommit || beforeCommit(inserted, error));
        committing = ok;
        ok = ok && execute(statement, QStringLiteral("COMMIT"), error);
        if (!ok) {
            QString ignored;
            execute(statement, QStringLiteral("ROLLBACK"), ignored);
        }
        return ok;
    });
    if (!committed) {
        // A failed commit is rolled back; should it have gone through after all, the notes
        // kept here find its rows. Before the commit nothing can have gone through.
        if (!committing)
            for (HistoryRow& row : rows)
                row.noted = {};
        return {Outcome::Unavailable};
    }
    for (HistoryRow& row : rows)
        row.noted = {};
    return outcomes;
}

HistoryStore::Settlement SqliteHistoryStore::settle(const HistoryRow& row)
{
    m_lastError.clear();
    Settlement settlement = Settlement::Unknown;
    withConnection(m_path, m_busyTimeout, m_lastError, [&](QSqlDatabase& db, QString& error) {
        QSqlQuery lookup(db);
        bool ok = lookup.prepare(HistoryDatabase::writtenRowStatement(false));
        lookup.addBindValue(row.noted.mark);
        ok = ok && lookup.exec();
        if (!ok) {
            error = lookup.lastError().text();
            return false;
        }
        // The rowid alone could be another row's by now; the row is its number and time.
        const bool found = lookup.next() && lookup.value(0).toString() == row.number &&
                           lookup.value(1).toString() == HistoryDatabase::dateTimeText(row.calldate);
        settlement = found ? Settlement::Written : Settlement::NotWritten;
        return true;
    });
    return settlement;
}

bool createHistoryDatabase(const QString& path, QString* errorText, const QStringList& more)
{
    QString error;
    const auto fail = [&](const QString& why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no file name given"));
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return fail(QStringLiteral("%1 already exists").arg(path));
    if (!info.absoluteDir().exists())
        return fail(QStringLiteral("the folder of %1 does not exist").arg(path));

    // NewOnly refuses a file that appeared since the check above; an empty file is an empty
    // SQLite database, which the read-write open below then accepts.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return fail(QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
    file.close();

    const bool created =
        withConnection(path, SqliteHistoryStore::kBusyTimeout, error, [&more](QSqlDatabase& db, QString& e) {
            if (!requireFullSync(db, e))
                return false;
            QSqlQuery create(db);
            bool ok = true;
            for (const QString& statement :
                 HistoryDatabase::createStatements(false) + CallEventDatabase::createStatements(false) + more)
                ok = ok && execute(create, statement, e);
            return ok;
        });
    if (!created) {
        QFile::remove(path);
        return fail(error);
    }
    return true;
}
