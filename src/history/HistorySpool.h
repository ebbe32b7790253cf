#pragma once

#include "history/HistoryStore.h"

#include <QString>

#include <vector>

/// The spool: call-history rows that have not been written yet, kept in a small SQLite file
/// in the application directory so that they outlive an exit, a crash or a power cut. A row
/// goes in the moment its call is read from the adapter and leaves only after its history
/// row has committed. Each thread that works on the file uses an instance of its own; one
/// program owns the file at a time (`SpoolLock`).
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

    /// The rows waiting in the file, oldest first, each with its noted write if it has one.
    std::vector<Entry> waiting();
    /// Adds `rows` in one transaction; their keys, in order, once they are durably on the
    /// disk; empty when they cannot be put there (`lastError()` says why).
    std::vector<qint64> add(const std::vector<HistoryRow>& rows);
    qint64 add(const HistoryRow& row);
    /// Notes, durably and in one transaction, the write under way of each row that has an
    /// entry (`spoolId`): its `noted` target and mark.
    bool note(const std::vector<HistoryRow>& rows);
    /// Takes the entries out, in one transaction. Need not reach the disk at once: an entry
    /// that comes back after a power cut carries its note, and is settled by it.
    bool remove(const std::vector<qint64>& ids);

    QString lastError() const { return m_lastError; }

private:
    bool open();
    void close();
    bool execute(const QString& statement, const QVariantList& values, qint64* insertedId = nullptr,
                 int* changed = nullptr);
    /// Runs `work` in a transaction committed with `synchronous` ("FULL" or "NORMAL"); rolls
    /// back when it fails.
    template<typename Work> bool inTransaction(const char* synchronous, Work&& work);
    /// Each statement of an update must change exactly one entry.
    bool changeOne(const QString& statement, const QVariantList& values, qint64 id);

    QString m_path;
    QString m_connectionName;
    bool m_open = false;
    QString m_lastError;
};
