#pragma once

#include "calls/HistoryStore.h"

#include <QString>

#include <vector>

class QSqlDatabase;

/// The spool: call-history rows that have not been written yet, kept in a small SQLite file
/// in the application directory so that they outlive an exit, a crash or a power cut. A row
/// goes in the moment its call is read from the adapter and leaves only with its history
/// row. Each thread that works on the file uses an instance of its own.
class HistorySpool
{
public:
    struct Entry
    {
        qint64 id = 0; ///< its key in the file
        HistoryRow row;
    };

    /// The spool file's name in the application directory.
    static QString pathIn(const QString& appDir);

    /// The spool file at `path`, which is made when the first row is added. An empty path
    /// keeps nothing.
    explicit HistorySpool(QString path);
    ~HistorySpool();

    HistorySpool(const HistorySpool&) = delete;
    HistorySpool& operator=(const HistorySpool&) = delete;

    const QString& path() const { return m_path; }

    /// The rows waiting in the file, oldest first.
    std::vector<Entry> waiting();
    /// Adds a row; its key once it is durably on the disk, 0 when it cannot be put there
    /// (`lastError()` says why).
    qint64 add(const HistoryRow& row);
    /// Notes, durably, the server transaction in which entry `id`'s row is being written,
    /// so that a later start asks about it instead of writing the row again.
    bool noteTransaction(qint64 id, qint64 transaction);
    bool remove(qint64 id);

    QString lastError() const { return m_lastError; }

    /// Prepares `db` (an open SQLite connection outside a transaction) to take entry `id` out
    /// of the spool file `file`; then `takeOut` does so inside the transaction that writes the
    /// row, so that SQLite commits both or neither.
    static bool attach(QSqlDatabase& db, const QString& file, QString& error);
    static bool takeOut(QSqlDatabase& db, qint64 id, QString& error);

private:
    bool open();
    void close();
    bool execute(const QString& statement, const QVariantList& values, qint64* insertedId = nullptr);

    QString m_path;
    QString m_connectionName;
    bool m_open = false;
    QString m_lastError;
};
