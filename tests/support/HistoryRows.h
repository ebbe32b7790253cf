#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

/// The rows of the history database at `path` (number, date and time), in the order they
/// were added; none when it cannot be read.
inline std::vector<std::pair<QString, QString>> historyRows(const QString& path)
{
    std::vector<std::pair<QString, QString>> rows;
    const QString connection = QStringLiteral("history-rows-reader");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(QStringLiteral("SELECT telnum, calldate FROM history ORDER BY rowid"), db);
            while (query.next())
                rows.emplace_back(query.value(0).toString(), query.value(1).toString());
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

/// Runs `statement` on the SQLite file at `path`, as another program would: its first value
/// (empty when it gives none), or nothing when it fails.
inline std::optional<QString> runSql(const QString& path, const QString& statement)
{
    std::optional<QString> result;
    const QString connection = QStringLiteral("history-sql");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement))
                result = query.next() ? query.value(0).toString() : QString();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}
