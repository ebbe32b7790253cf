#pragma once

#include "history/HistoryStore.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

/// The call history in a PostgreSQL database named by a connection URI (`HistoryDatabase`).
/// The database and the table must exist. Passwords come from the URI, `~/.pgpass` or PGPASSWORD, as
/// libpq finds them.
///
/// Every write is its own transaction whose id is learnt and noted before the commit, so a
/// commit whose answer is lost is settled by asking that server afterwards instead of
/// guessing.
class PostgresHistoryStore final : public HistoryStore
{
public:
    enum class Connection
    {
        Kept,    ///< one connection held between calls, made again when it breaks
        PerCall, ///< a connection opened and closed for every row
    };

    /// How long the server keeps a write open whose session has gone quiet inside it.
    static constexpr std::chrono::seconds kOpenWriteLimit{10};

    /// A row written this long after its call is written as late: desks following the
    /// office's calls count it instead of opening its page. Longer than a call waits for
    /// its row.
    static constexpr std::chrono::seconds kLateAfter{6};

    explicit PostgresHistoryStore(QString uri, Connection connection = Connection::Kept);
    ~PostgresHistoryStore() override;

    using HistoryStore::append;
    /// One transaction a row.
    std::vector<Outcome> append(std::vector<HistoryRow>& rows, const BeforeCommit& beforeCommit) override;
    /// Asks the server: a write still open there is `Open`; otherwise the row is written when
    /// the table holds it with the transaction that wrote it.
    Settlement settle(const HistoryRow& row) override;
    QString lastError() const override { return m_lastError; }

private:
    Outcome appendOne(HistoryRow& row, const BeforeCommit& beforeCommit);
    bool connect();
    void disconnect();
    bool begin();
    QSqlDatabase database() const;
    /// "committed", "aborted" or "in progress"; "" when the server does not know it;
    /// nullopt when it could not be asked.
    std::optional<QString> transactionStatus(qint64 transaction);
    bool fail(const QString& why);

    QString m_uri;
    Connection m_connection;
    QString m_connectionName;
    std::unique_ptr<QSqlQuery> m_insert;
    /// Whether the connected table has the column for the caller's name.
    bool m_withName = false;
    QString m_lastError;
};

/// Creates the table with its indexes and the trigger that announces its rows, and the calls' events, in the
/// existing database the URI names, and what the statements `more` make (the phone book), in
/// one transaction. Fails, touching nothing, when the database cannot be reached or the table
/// exists; `errorText` (when given) says why.
bool createPostgresHistoryTable(const QString& uri, QString* errorText = nullptr, const QStringList& more = {});
