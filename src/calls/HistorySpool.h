#pragma once

#include "calls/HistoryStore.h"

#include <QString>

#include <deque>

/// Call-history rows that could not be written yet, oldest first, kept in a small SQLite
/// file so that they outlive an exit, a crash or a power cut: a row added is on the disk
/// before `push` returns. The whole spool is also held in memory, so a spool file that
/// cannot be written still keeps the rows for as long as the program runs.
class HistorySpool
{
public:
    /// The spool file's name in the application directory.
    static QString pathIn(const QString& appDir);

    /// Reads the rows waiting in the spool file at `path`, which is made when the first row
    /// has to wait. An empty path keeps the rows in memory only.
    explicit HistorySpool(QString path);
    ~HistorySpool();

    HistorySpool(const HistorySpool&) = delete;
    HistorySpool& operator=(const HistorySpool&) = delete;

    bool isEmpty() const { return m_rows.empty(); }
    int size() const { return int(m_rows.size()); }
    const HistoryRow& front() const { return m_rows.front().row; }

    /// Adds a row at the end. True when it is durably on the disk; false (with `lastError()`
    /// saying why) when it is held in memory only.
    bool push(const HistoryRow& row);
    /// Records what a store learnt about the oldest row (an unsettled write).
    void updateFront(const HistoryRow& row);
    /// The oldest row has been written: it leaves the spool.
    void popFront();

    QString lastError() const { return m_lastError; }

private:
    struct Entry
    {
        qint64 id = 0; ///< its key in the file; 0 when it is held in memory only
        HistoryRow row;
    };

    bool open();
    void close();
    bool execute(const QString& statement, const QVariantList& values, qint64* insertedId = nullptr);
    void deleteWritten();

    QString m_path;
    QString m_connectionName;
    bool m_open = false;
    std::deque<Entry> m_rows;
    /// Rows written to the history whose removal from the file failed; retried.
    QList<qint64> m_written;
    QString m_lastError;
};
