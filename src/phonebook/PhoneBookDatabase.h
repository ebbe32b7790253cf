#pragma once

#include <QString>
#include <QStringList>

/// The phone book's table "phonebook" in the history's database, in one place: the statements
/// that make and use it. Every other file goes through these; none spells a column.
///
/// An entry is one row: its name, reading, company, note and nuisance mark, and its numbers as
/// typed, one per line in one column. The numbers are matched in memory by their normal form,
/// never by the database, so they need no table of their own.
namespace PhoneBookDatabase {

/// The channel on which a PostgreSQL phone book announces each entry added, changed or deleted:
/// the payload is the entry's key.
inline constexpr char kChannel[] = "chakushin_phonebook";

/// The table, and on PostgreSQL what announces its changes.
QStringList createStatements(bool onServer);
/// What makes a PostgreSQL table announce its changes on `kChannel`: a function and an AFTER
/// trigger for each row inserted, updated or deleted.
QStringList announcementStatements();

/// Whether the table is there: one row when it is, none when it is not.
QString existsStatement(bool onServer);
/// Every entry, as (id, name, reading, company, numbers, note, nuisance).
QString allStatement();
/// The entries with the bound keys (`count` of them), as `allStatement` gives them.
QString someStatement(int count);
/// Binds name, reading, company, numbers, note, nuisance; returns the new key.
QString insertStatement(bool onServer);
/// Binds name, reading, company, numbers, note, nuisance, then the key.
QString updateStatement();
QString deleteStatement();
/// Takes the table for the rest of the transaction, so that an import plans against what no
/// other desk can change meanwhile. Empty on SQLite, whose write transaction does that.
QString lockStatement(bool onServer);

/// The numbers as the column holds them, and back.
QString numbersText(const QStringList& numbers);
QStringList numbersOf(const QString& text);

} // namespace PhoneBookDatabase
