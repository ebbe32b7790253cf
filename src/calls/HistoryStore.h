#pragma once

#include <QDateTime>
#include <QString>

/// One call-history row on its way to the database.
struct HistoryRow
{
    QString number;
    /// The local date and time of the call, kept as it was when the row waits to be written.
    QDateTime calldate;
    /// Set by a store whose write of this row was sent but whose outcome it could not learn
    /// (the connection was lost while committing): the server's transaction id, which the
    /// store asks about before it writes the row again. Zero otherwise.
    qint64 unsettledTransaction = 0;
    /// The row's entry in the spool file while it waits (the file and the entry's key), so
    /// that the row leaves the spool in the step that writes it; no file when it waits in
    /// memory only. A store that took the entry out sets `spoolId` to 0.
    QString spoolFile{};
    qint64 spoolId = 0;
};

/// Where call-history rows go. One implementation per database kind; the caller shows the
/// user-facing message when `append` does not write the row.
class HistoryStore
{
public:
    enum class Outcome
    {
        Written,     ///< the row is durably stored
        Refused,     ///< the table refuses this row's values; writing it again cannot succeed
        Unavailable, ///< the database could not be reached or written; nothing was stored
    };

    virtual ~HistoryStore() = default;

    /// Appends one row: the number as text (empty stays empty text) and the call's local
    /// date and time. Unless the outcome is `Written`, `lastError()` says why (for developer
    /// traces only). The store may note an unsettled write in `row`.
    virtual Outcome append(HistoryRow& row) = 0;

    virtual QString lastError() const = 0;
};
