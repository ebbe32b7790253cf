#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

/// A write of a row that was under way when its outcome was lost (the program ended, the
/// connection broke during the commit): where it went and how that database knows the row.
struct NotedWrite
{
    /// The history it was written to, `path3` as it was then.
    QString target;
    /// A PostgreSQL transaction id, or an SQLite rowid; 0 when no write is noted.
    qint64 mark = 0;

    explicit operator bool() const { return mark != 0; }
};

/// One call-history row on its way to the database.
struct HistoryRow
{
    QString number;
    /// The local date and time of the call, kept as it was when the row waits to be written.
    QDateTime calldate;
    /// Set just before a write commits, and noted in the spool with it: whoever finds the row
    /// again with this set asks that database whether the row is there before writing it.
    NotedWrite noted{};
    /// The row's key in the spool file while it waits; 0 when it waits in memory only.
    qint64 spoolId = 0;
    /// The caller's name as the phone book had it when the call was read; null when it had
    /// none. Written only to a table that has the column.
    QString name{};
};

/// Where call-history rows go. One implementation per database kind; the caller shows the
/// user-facing message when a row is not written.
class HistoryStore
{
public:
    enum class Outcome
    {
        Written,     ///< the row is durably stored
        Refused,     ///< the table refuses this row's values; writing it again cannot succeed
        Unavailable, ///< the database could not be reached or written; nothing was stored
    };

    /// Whether a noted write reached the table.
    enum class Settlement
    {
        Written,    ///< the row is in the table
        NotWritten, ///< it is not: the row is to be written again
        Open,       ///< the write is still open on the database (its session not yet ended there)
        Unknown,    ///< the database cannot be asked now
    };

    /// Called with the rows of a write, each with its `noted` mark set, after they have been
    /// inserted and before the commit; false (with a reason) abandons the write.
    using BeforeCommit = std::function<bool(const std::vector<HistoryRow>& rows, QString& error)>;

    virtual ~HistoryStore() = default;

    /// Appends `rows` in order, in one transaction where the store can, and returns the
    /// outcome of each row it got to: every outcome but the last is `Written` or `Refused`;
    /// a last `Unavailable` means neither that row nor any after it was written. The number
    /// goes in as text (empty stays empty text) with the call's local date and time. A row not
    /// written keeps a `noted` mark only when its write may still have committed. Unless every
    /// row is `Written`, `lastError()` says why, in the driver's words.
    virtual std::vector<Outcome> append(std::vector<HistoryRow>& rows, const BeforeCommit& beforeCommit) = 0;
    /// Whether the noted write of `row` reached this database; `lastError()` says why when
    /// the answer is `Open` or `Unknown`.
    virtual Settlement settle(const HistoryRow& row) = 0;
    /// How many rows one `append` takes at most.
    virtual std::size_t batchLimit() const { return 1; }
    virtual QString lastError() const = 0;

    /// Appends one row, noting nothing.
    Outcome append(HistoryRow& row)
    {
        std::vector<HistoryRow> rows{row};
        const Outcome outcome = append(rows, {}).at(0);
        row = rows.front();
        return outcome;
    }
};
