#pragma once

#include "history/HistoryStore.h"

#include <QString>

#include <chrono>

/// The call history in an SQLite file (`HistoryDatabase`). The file and the table must exist;
/// this class never creates either. Every `append` opens the file, inserts its rows in one
/// transaction and closes it; any journal mode of the file will do.
class SqliteHistoryStore final : public HistoryStore
{
public:
    /// How long an append waits for another program's lock before it gives up. A reader
    /// such as a report tool holds the lock for milliseconds, which this rides out; a lock
    /// held for good (an open write transaction in a database browser) fails within 2 s,
    /// so that the call's message is not late.
    static constexpr std::chrono::milliseconds kBusyTimeout{2000};

    explicit SqliteHistoryStore(QString path, std::chrono::milliseconds busyTimeout = kBusyTimeout);

    using HistoryStore::append;
    std::vector<Outcome> append(std::vector<HistoryRow>& rows, const BeforeCommit& beforeCommit) override;
    /// Looks the noted rowid up: the row is written when that rowid holds its number and time.
    Settlement settle(const HistoryRow& row) override;
    std::size_t batchLimit() const override { return 500; }
    QString lastError() const override { return m_lastError; }

private:
    QString m_path;
    std::chrono::milliseconds m_busyTimeout{kBusyTimeout};
    QString m_lastError;
};

/// Creates an empty call-history database at `path`: a new SQLite file holding the table and
/// its indexes, the calls' events, and what the statements `more` make (the phone book). Fails, touching
/// nothing, when `path` is empty, already exists or its folder is missing; on failure
/// `errorText` (when given) says why.
bool createHistoryDatabase(const QString& path, QString* errorText = nullptr, const QStringList& more = {});
