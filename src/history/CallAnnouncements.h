#pragma once

#include "history/HistoryDatabase.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

/// One call as the history announced it, or as a following desk read it afterwards.
struct AnnouncedCall
{
    qint64 id = 0;
    QString number;
    /// Local date and time of the call, as the row holds it.
    QDateTime calldate;
    /// Written well after the call (kept while the history could not be reached): too late
    /// to open the caller's page for.
    bool late = false;
    /// The caller's name kept with the row; null when it has none.
    QString name{};

    bool operator==(const AnnouncedCall&) const = default;
};

/// A payload of the channel: a JSON object with "id", "number", "calldate"
/// ("YYYY-MM-DD HH:MM:SS"), "late" and, when the row has one, "name". Nothing for anything
/// else.
std::optional<AnnouncedCall> parseCallAnnouncement(const QByteArray& payload);
