#pragma once

#include <QDateTime>
#include <QString>

/// Where call-history rows go. One implementation per database kind; the caller shows the
/// user-facing message when `append` fails.
class HistoryStore
{
public:
    virtual ~HistoryStore() = default;

    /// Appends one row: `number` as text (empty stays empty text) and `localDateTime` as
    /// the call's local date and time. True only when the row is durably stored; on false
    /// nothing was written and `lastError()` says why (for developer traces only).
    virtual bool append(const QString& number, const QDateTime& localDateTime) = 0;

    virtual QString lastError() const = 0;
};
