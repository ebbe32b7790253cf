#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QSqlDatabase;

/// A connection of this thread to the history's database (a file, or a postgresql:// URI) for
/// a table kept beside the history, which an older database may lack: made on first use and
/// again after it broke, checked to have the table, able to listen on a PostgreSQL channel.
/// One instance per thread.
class TableSession
{
public:
    struct Table
    {
        /// What the table is called in messages for the developer.
        QString name;
        /// Gives one row when the table is there.
        QString existsStatement;
        /// How long one statement may run on the server.
        std::chrono::milliseconds statementTimeout{30000};
    };

    TableSession(QString target, Table table);
    ~TableSession();

    TableSession(const TableSession&) = delete;
    TableSession& operator=(const TableSession&) = delete;

    const QString& target() const { return m_target; }
    bool onServer() const { return m_onServer; }

    /// Connects, unless connected. False when the database cannot be reached (`lastError`
    /// says why), or when it lacks the table (`missing`).
    bool connect();
    void disconnect();
    bool isConnected() const { return m_connected; }
    /// After a failed `connect`: the database was reached and lacks the table.
    bool missing() const { return m_missing; }
    /// Whether the connection still answers; a connection that does not is dropped.
    bool ping();
    /// On a server: calls `announced` with each key announced on `channel`, from the thread's
    /// event loop, for as long as the connection lasts. Nothing on a file.
    bool listen(const QString& channel, std::function<void(qint64 key)> announced);

    QSqlDatabase database() const;
    /// Runs `statement` with `values` bound in order; on failure `lastError` says why, and a
    /// broken connection is made again by the next `connect`.
    bool run(QSqlQuery& query, const QString& statement, const QVariantList& values = {});
    /// Connects and reads every row `statement` gives, each made by `row` from the query;
    /// nothing when the read failed.
    template<typename Make>
    auto rows(const QString& statement, const QVariantList& values, Make row)
        -> std::optional<std::vector<decltype(row(std::declval<const QSqlQuery&>()))>>
    {
        if (!connect())
            return std::nullopt;
        QSqlQuery query(database());
        query.setForwardOnly(true);
        if (!run(query, statement, values))
            return std::nullopt;
        std::vector<decltype(row(query))> made;
        while (query.next())
            made.push_back(row(query));
        if (query.lastError().isValid()) {
            fail(query.lastError().text());
            return std::nullopt;
        }
        return made;
    }
    /// Connects and runs `work` in one transaction (on SQLite one that writes from its start),
    /// committed when it returns true and rolled back otherwise.
    bool inTransaction(const std::function<bool()>& work);
    /// Sets `lastError`; false.
    bool fail(const QString& why);
    const QString& lastError() const { return m_lastError; }

private:
    QString m_target;
    Table m_table;
    bool m_onServer = false;
    QString m_connectionName;
    bool m_connected = false;
    bool m_missing = false;
    QString m_lastError;
};
