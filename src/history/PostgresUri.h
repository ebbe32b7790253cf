#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

/// Where a PostgreSQL history lives, taken apart from a connection URI in libpq's form:
/// postgresql://[user[:password]@][host][:port][,...][/dbname][?name=value&...]
/// ("postgres://" too). Every part is percent-decoded; a host that is a directory names the
/// Unix socket's directory. Parameters in the query part go to libpq as they are.
struct PostgresTarget
{
    QString host; ///< one host or a comma-separated list; empty: libpq's default
    QString port; ///< one port or a comma-separated list; empty: libpq's default
    QString user;
    QString password;
    QString dbname;
    QList<QPair<QString, QString>> parameters; ///< the remaining name=value parameters, in order
};

/// True when `path3` names a PostgreSQL database rather than a file.
bool isPostgresUri(const QString& path3);

/// Parses a URI for which `isPostgresUri` holds; nullopt, with `error` saying why, for a
/// malformed one.
std::optional<PostgresTarget> parsePostgresUri(const QString& uri, QString* error = nullptr);

/// The URI with any password replaced by "***", for traces and messages.
QString withoutPassword(const QString& uri);
