#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <chrono>

class QSqlDatabase;

/// The call history's table "history", in one place: the statements that make and use it, how
/// a history named in the settings (a file, or a postgresql:// URI) becomes a connection, and
/// the text its dates are written in. Every other file goes through these; none spells a
/// column of the table.
///
/// A row is the caller's number as the adapter sent it, and the local date and time of the
/// call to the second, with an integer key that keeps the order of writing: SQLite's rowid, or
/// an identity column "id" on PostgreSQL.
namespace HistoryDatabase {

/// Whether `target` names a PostgreSQL database rather than a file.
bool onServer(const QString& target);

/// `count` marks for bound values, "?,?,?", for an IN list.
QString boundValues(int count);

/// The text a date and time is written in ("YYYY-MM-DD HH:MM:SS", local time, ASCII digits),
/// and read back; an invalid QDateTime for any other text.
QString dateTimeText(const QDateTime& localDateTime);
QDateTime dateTimeFromText(const QString& text);

/// How long making a connection may take, per host address (libpq's connect_timeout, unless
/// the URI sets one; libpq takes nothing below 2 s).
inline constexpr std::chrono::seconds kConnectTimeout{2};
/// How long one statement may run on the server, and how long sent data may stay
/// unacknowledged on a TCP connection before it counts as broken.
inline constexpr std::chrono::milliseconds kStatementTimeout{2000};
/// TCP keepalives, both ways: quiet this long, then probes this far apart, this many.
inline constexpr std::chrono::seconds kKeepaliveIdle{5};
inline constexpr std::chrono::seconds kKeepaliveInterval{2};
inline constexpr int kKeepaliveCount = 3;

/// The file: URI that opens the existing SQLite file at `path` with `mode` ("rw" or "ro"), for
/// QSQLITE_OPEN_URI; it never creates a file.
QString sqliteFileUri(const QString& path, const QString& mode);
/// Sets up a QSQLITE connection (not opened yet) to the existing file at `path`, waiting at
/// most `busyTimeout` for another program's lock. False, with `error` saying why, for a name
/// that cannot be a file.
bool configureSqliteConnection(QSqlDatabase& db, const QString& path, const QString& mode,
                               std::chrono::milliseconds busyTimeout, QString& error);
/// Sets up a QPSQL connection for `uri` (not opened yet), with the connect and TCP time-outs
/// above unless the URI sets its own. False, with `error` saying why, for a URI that cannot be
/// passed on.
bool configurePostgresConnection(QSqlDatabase& db, const QString& uri, QString& error);

/// The channel on which a PostgreSQL history announces each row when its insert commits.
inline constexpr char kCallChannel[] = "chakushin_calls";
/// The longest number an announcement carries. A notification's payload is limited (8000
/// bytes), and an insert whose announcement does not fit would fail with it.
inline constexpr int kAnnouncedNumberLength = 256;
/// The setting a writer turns on in the transaction of a row it writes late; the announcement
/// carries it.
inline constexpr char kLateCallSetting[] = "chakushin.late_call";

/// The table with its indexes, and on PostgreSQL the trigger that announces its rows. The
/// column "name" (the caller's name at the time of the call, NULL when the phone book had none)
/// came later: a table made before it lacks it, which every statement here allows for.
QStringList createStatements(bool onServer);
/// What gives an existing table the column "name" (see the README).
QString addNameStatement();
/// Whether the table has the column "name": one row when it has.
QString nameColumnStatement(bool onServer);
/// The indexes that keep the reader's pages and searches fast on a large table: by date and
/// time (holding the number, so a search by number fragment reads the index alone) and by
/// number (for the counts). Made with the table, and given to an existing one by the same
/// statements (see the README).
QStringList indexStatements(bool onServer);
/// What makes a PostgreSQL table announce its rows on `kCallChannel`: a function and an AFTER
/// INSERT trigger calling it, with a JSON payload of "id", "number", "calldate", "late" and,
/// when the table has the column and the row a name, "name".
QStringList announcementStatements();

/// Inserts a row: the number and the date text, bound in that order, and `withName` the name
/// after them. On PostgreSQL it returns the id of the writing transaction.
QString insertStatement(bool onServer, bool withName = false);
/// Whether a noted write reached the table. SQLite: the number and date text of the row with
/// the bound rowid. PostgreSQL: whether a row of the bound date text and number was written by
/// the bound transaction id.
QString writtenRowStatement(bool onServer);

/// What a reader asks: the rows as (key, number, date text shown, date text ordered by, name),
/// newest first or by key, and the conditions it narrows them by, each with '?' for its
/// bound value.
struct Reading
{
    bool onServer = false;
    /// Whether the table has the column "name"; without it every row's name reads as NULL.
    bool withName = false;

    /// The integer key: "id" on the server, SQLite's rowid.
    QString key() const;
    QString numberContains() const;
    /// The stored name contains the bound text; for a table with names only.
    QString nameContains() const;
    /// The number is one of `numbers` bound values.
    QString numberIn(int numbers) const;
    QString numberIs() const;
    QString calledFrom() const;
    QString calledBefore() const;
    /// Rows after a row in the history's order; binds its date text twice, then its key.
    QString after() const;
    /// `where` is empty or begins with " WHERE ".
    QString rows(const QString& where, bool byKey, int limit) const;
    /// The number of calls of each of `numbers` bound numbers, as (number, count).
    QString counts(int numbers) const;
    QString newestKey() const;
};

/// What a following desk asks its server through libpq: the newest key, and the rows above
/// the key bound as $1, as (id, number, date text), oldest first.
QString newestIdStatement();
QString rowsAboveStatement(int limit);

} // namespace HistoryDatabase
