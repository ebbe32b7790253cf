#pragma once

#include <QDateTime>

#include <utility>

/// A line as it came from the adapter: when it arrived and, when its call was kept for the
/// history the moment it was read, the key of that journal entry. A call carries it from the
/// read to its row, so that its row is its own whatever happens in between.
struct Arrival
{
    /// A line that was not journaled (a reply, a line handed over in a test) has no key.
    Arrival(QDateTime at = {}, qint64 journalKey = 0) // NOLINT(google-explicit-constructor)
        : at(std::move(at))
        , journalKey(journalKey)
    {}

    QDateTime at;
    qint64 journalKey = 0;
};
