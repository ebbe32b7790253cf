#pragma once

#include "history/PostgresHistoryStore.h"
#include "phonebook/PhoneBookDatabase.h"

#include "ThrowawayCluster.h"

#include <QUuid>

/// The throwaway PostgreSQL server of this test program, made at first use and removed at its end.
inline ThrowawayCluster& officeServer()
{
    static ThrowawayCluster server;
    return server;
}

/// Starts the server if it is not running and makes a database of its own with the history table as the program makes
/// it. Its URI and name; an empty URI, with `error` saying why, when that fails.
inline std::pair<QString, QString> freshOfficeHistory(QString& error)
{
    const QString database = "h" + QUuid::createUuid().toString(QUuid::Id128);
    ThrowawayCluster& server = officeServer();
    if (!server.start() || !server.createDatabase(database)) {
        error = server.error();
        return {};
    }
    const QString uri = server.uri(database);
    return createPostgresHistoryTable(uri, &error, PhoneBookDatabase::createStatements(true))
               ? std::pair(uri, database)
               : std::pair(QString(), database);
}
