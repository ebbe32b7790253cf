#pragma once

#include <QString>
#include <QStringList>

/// One log shared by the call-action fakes, so a test can see the order in which the
/// display, the browser and the history were reached. Entries read "display:<number>",
/// "browser:<url>" and "history:<number>".
struct CallEventLog
{
    QStringList events;

    void add(const char* kind, const QString& value) { events.append(QLatin1String(kind) + u':' + value); }
};
