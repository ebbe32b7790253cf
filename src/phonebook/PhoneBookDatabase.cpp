#include "phonebook/PhoneBookDatabase.h"

#include "history/HistoryDatabase.h"

namespace PhoneBookDatabase {

namespace {

const QString kColumns = QStringLiteral("id, name, reading, company, numbers, note, nuisance");

} // namespace

QStringList createStatements(bool onServer)
{
    if (onServer)
        return QStringList{QStringLiteral(
                   "CREATE TABLE phonebook (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                   "name text NOT NULL DEFAULT '', reading text NOT NULL DEFAULT '', company text NOT NULL DEFAULT '', "
                   "numbers text NOT NULL DEFAULT '', note text NOT NULL DEFAULT '', "
                   "nuisance boolean NOT NULL DEFAULT false)")} +
               announcementStatements();
    return {QStringLiteral("CREATE TABLE phonebook (id INTEGER PRIMARY KEY, name TEXT NOT NULL DEFAULT '', "
                           "reading TEXT NOT NULL DEFAULT '', company TEXT NOT NULL DEFAULT '', "
                           "numbers TEXT NOT NULL DEFAULT '', note TEXT NOT NULL DEFAULT '', "
                           "nuisance INTEGER NOT NULL DEFAULT 0)")};
}

QStringList announcementStatements()
{
    // Only the key is announced: a desk reads the entries of a burst of announcements (an
    // import) in one query, and a key it no longer finds was deleted. The function's names
    // resolve in pg_catalog only, whoever's session runs it.
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION chakushin_announce_phonebook() RETURNS trigger LANGUAGE plpgsql\n"
                       "SET search_path = pg_catalog, pg_temp AS $$\n"
                       "BEGIN\n"
                       "  IF TG_OP = 'DELETE' THEN\n"
                       "    PERFORM pg_notify('%1', OLD.id::text);\n"
                       "  ELSE\n"
                       "    PERFORM pg_notify('%1', NEW.id::text);\n"
                       "  END IF;\n"
                       "  RETURN NULL;\n"
                       "END $$")
            .arg(QLatin1String(kChannel)),
        QStringLiteral("CREATE TRIGGER phonebook_announce AFTER INSERT OR UPDATE OR DELETE ON phonebook FOR EACH ROW "
                       "EXECUTE FUNCTION chakushin_announce_phonebook()"),
    };
}

QString existsStatement(bool onServer)
{
    return onServer ? QStringLiteral("SELECT 1 FROM pg_catalog.pg_class WHERE oid = to_regclass('phonebook')")
                    : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'phonebook'");
}

QString allStatement()
{
    return QStringLiteral("SELECT %1 FROM phonebook").arg(kColumns);
}

QString someStatement(int count)
{
    return QStringLiteral("SELECT %1 FROM phonebook WHERE id IN (%2)")
        .arg(kColumns, HistoryDatabase::boundValues(count));
}

QString insertStatement(bool onServer)
{
    const QString insert = QStringLiteral(
        "INSERT INTO phonebook (name, reading, company, numbers, note, nuisance) VALUES (?, ?, ?, ?, ?, ?)");
    return onServer ? insert + QStringLiteral(" RETURNING id") : insert;
}

QString updateStatement()
{
    return QStringLiteral(
        "UPDATE phonebook SET name = ?, reading = ?, company = ?, numbers = ?, note = ?, nuisance = ? WHERE id = ?");
}

QString deleteStatement()
{
    return QStringLiteral("DELETE FROM phonebook WHERE id = ?");
}

QString lockStatement(bool onServer)
{
    return onServer ? QStringLiteral("LOCK TABLE phonebook IN SHARE ROW EXCLUSIVE MODE") : QString();
}

QString numbersText(const QStringList& numbers)
{
    QStringList kept;
    for (const QString& number : numbers)
        if (!number.trimmed().isEmpty())
            kept << number.trimmed();
    return kept.join(QLatin1Char('\n'));
}

QStringList numbersOf(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace PhoneBookDatabase
