#include "phonebook/PhoneBookStore.h"

#include "history/HistoryDatabase.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookIndex.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// An import of a large file may take a while on the server; anything longer is a server in
// trouble.
constexpr std::chrono::milliseconds kStatementTimeout{30000};

QVariantList valuesOf(const PhoneBookEntry& entry, bool onServer)
{
    // A null text would be bound as NULL, which the table refuses.
    const auto text = [](const QString& value) {
        return value.isNull() ? QStringLiteral("") : value;
    };
    return {text(entry.name),    text(entry.reading),
            text(entry.company), PhoneBookDatabase::numbersText(entry.numbers),
            text(entry.note),    onServer ? QVariant(entry.nuisance) : QVariant(entry.nuisance ? 1 : 0)};
}

} // namespace

PhoneBookStore::PhoneBookStore(QString target)
    : m_session(target, {QStringLiteral("phone book (table phonebook)"),
                         PhoneBookDatabase::existsStatement(HistoryDatabase::onServer(target)), kStatementTimeout})
{}

PhoneBookStore::~PhoneBookStore() = default;

bool PhoneBookStore::listen(std::function<void(qint64 id)> announced)
{
    return m_session.listen(QString::fromLatin1(PhoneBookDatabase::kChannel), std::move(announced));
}

std::optional<std::vector<PhoneBookEntry>> PhoneBookStore::read(const QString& statement, const QVariantList& values)
{
    return m_session.rows(statement, values, [](const QSqlQuery& query) {
        return PhoneBookEntry{query.value(0).toLongLong(),
                              query.value(1).toString(),
                              query.value(2).toString(),
                              query.value(3).toString(),
                              PhoneBookDatabase::numbersOf(query.value(4).toString()),
                              query.value(5).toString(),
                              query.value(6).toBool()};
    });
}

std::optional<std::vector<PhoneBookEntry>> PhoneBookStore::all()
{
    return read(PhoneBookDatabase::allStatement(), {});
}

std::optional<std::vector<PhoneBookEntry>> PhoneBookStore::some(const std::vector<qint64>& ids)
{
    std::vector<PhoneBookEntry> entries;
    // In parts, well below the number of values a statement may bind.
    constexpr std::size_t kPart = 500;
    for (std::size_t first = 0; first < ids.size(); first += kPart) {
        const std::size_t count = std::min(kPart, ids.size() - first);
        QVariantList values;
        for (std::size_t i = 0; i < count; ++i)
            values << ids[first + i];
        const auto part = read(PhoneBookDatabase::someStatement(int(count)), values);
        if (!part)
            return std::nullopt;
        entries.insert(entries.end(), part->begin(), part->end());
    }
    return entries;
}

std::optional<qint64> PhoneBookStore::write(const PhoneBookEntry& entry)
{
    QSqlQuery query(m_session.database());
    QVariantList values = valuesOf(entry, m_session.onServer());
    if (entry.id == 0) {
        if (!m_session.run(query, PhoneBookDatabase::insertStatement(m_session.onServer()), values))
            return std::nullopt;
        if (m_session.onServer())
            return query.next() ? std::optional(query.value(0).toLongLong()) : std::nullopt;
        return query.lastInsertId().toLongLong();
    }
    values << entry.id;
    if (!m_session.run(query, PhoneBookDatabase::updateStatement(), values))
        return std::nullopt;
    if (query.numRowsAffected() != 1) {
        m_session.fail(QStringLiteral("この項目はほかの席で削除されています"));
        return std::nullopt;
    }
    return entry.id;
}

std::optional<qint64> PhoneBookStore::save(const PhoneBookEntry& entry)
{
    std::optional<qint64> id;
    if (!m_session.inTransaction([&] { return (id = write(entry)).has_value(); }))
        return std::nullopt;
    return id;
}

bool PhoneBookStore::remove(qint64 id)
{
    return m_session.inTransaction([&] {
        QSqlQuery query(m_session.database());
        return m_session.run(query, PhoneBookDatabase::deleteStatement(), {id});
    });
}

std::optional<ImportPlan> PhoneBookStore::import(const PhoneBookFile& file)
{
    ImportPlan plan;
    const bool done = m_session.inTransaction([&] {
        QSqlQuery lock(m_session.database());
        const QString lockStatement = PhoneBookDatabase::lockStatement(m_session.onServer());
        if (!lockStatement.isEmpty() && !m_session.run(lock, lockStatement, {}))
            return false;
        const auto book = all();
        if (!book)
            return false;
        plan = planImport(PhoneBookIndex(*book), file);
        for (std::vector<PhoneBookEntry>* entries : {&plan.added, &plan.merged})
            for (PhoneBookEntry& entry : *entries) {
                const std::optional<qint64> id = write(entry);
                if (!id)
                    return false;
                entry.id = *id;
            }
        return true;
    });
    if (!done)
        return std::nullopt;
    return plan;
}
