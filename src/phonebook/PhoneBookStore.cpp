#include "phonebook/PhoneBookStore.h"

#include "history/HistoryDatabase.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookIndex.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {

// An import of a large file may take a while on the server; anything longer is a server in
// trouble.
constexpr int kStatementTimeoutMs = 30000;
// How long a write waits for another connection to let go of an SQLite file.
constexpr std::chrono::milliseconds kBusyTimeout{5000};

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
    : m_target(std::move(target))
    , m_onServer(HistoryDatabase::onServer(m_target))
    , m_connectionName(QStringLiteral("chakushin-phonebook-") + QUuid::createUuid().toString(QUuid::Id128))
{}

PhoneBookStore::~PhoneBookStore()
{
    disconnect();
}

QSqlDatabase PhoneBookStore::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool PhoneBookStore::fail(const QString& why)
{
    m_lastError = why;
    return false;
}

bool PhoneBookStore::run(QSqlQuery& query, const QString& statement, const QVariantList& values)
{
    // A statement without values is not prepared: PostgreSQL cannot prepare SET, BEGIN or COMMIT.
    bool ok = true;
    if (values.isEmpty()) {
        ok = query.exec(statement);
    } else {
        ok = query.prepare(statement);
        for (const QVariant& value : values)
            query.addBindValue(value);
        ok = ok && query.exec();
    }
    if (!ok) {
        m_lastError = query.lastError().text();
        // A connection that broke is made again by the next connect.
        if (!database().isOpen() || query.lastError().type() == QSqlError::ConnectionError)
            m_connected = false;
    }
    return ok;
}

bool PhoneBookStore::connect()
{
    if (m_connected && database().isOpen())
        return true;
    disconnect();
    m_missing = false;
    if (m_target.isEmpty())
        return fail(QStringLiteral("no history database is set"));
    QString why;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_onServer ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                    m_connectionName);
        const bool configured =
            m_onServer
                ? HistoryDatabase::configurePostgresConnection(db, m_target, why)
                : HistoryDatabase::configureSqliteConnection(db, m_target, QStringLiteral("rw"), kBusyTimeout, why);
        if (!db.isValid())
            return fail(QStringLiteral("Qt's SQL driver for the history is not installed"));
        if (!configured)
            return fail(why);
        if (!db.open())
            return fail(db.lastError().text());
    }
    m_connected = true;
    QSqlQuery query(database());
    if (m_onServer && !run(query, QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs), {}))
        return fail(m_lastError);
    if (!run(query, PhoneBookDatabase::existsStatement(m_onServer), {}))
        return fail(m_lastError);
    if (!query.next()) {
        m_missing = true;
        m_connected = false;
        return fail(QStringLiteral("the history database has no phone book (table phonebook)"));
    }
    return true;
}

void PhoneBookStore::disconnect()
{
    m_connected = false;
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool PhoneBookStore::ping()
{
    if (!m_connected)
        return false;
    QSqlQuery query(database());
    if (run(query, QStringLiteral("SELECT 1"), {}))
        return true;
    m_connected = false;
    return false;
}

bool PhoneBookStore::listen(std::function<void(qint64 id)> announced)
{
    if (!m_onServer)
        return true;
    QSqlDriver* driver = database().driver();
    QObject::disconnect(driver, &QSqlDriver::notification, nullptr, nullptr);
    QObject::connect(driver, &QSqlDriver::notification, driver,
                     [announced = std::move(announced)](const QString& channel, QSqlDriver::NotificationSource,
                                                        const QVariant& payload) {
                         bool ok = false;
                         const qint64 id = payload.toString().toLongLong(&ok);
                         if (channel == QLatin1String(PhoneBookDatabase::kChannel) && ok)
                             announced(id);
                     });
    if (!driver->subscribeToNotification(QString::fromLatin1(PhoneBookDatabase::kChannel)))
        return fail(driver->lastError().text());
    return true;
}

std::optional<std::vector<PhoneBookEntry>> PhoneBookStore::read(const QString& statement, const QVariantList& values)
{
    if (!connect())
        return std::nullopt;
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!run(query, statement, values))
        return std::nullopt;
    std::vector<PhoneBookEntry> entries;
    while (query.next())
        entries.push_back({query.value(0).toLongLong(), query.value(1).toString(), query.value(2).toString(),
                           query.value(3).toString(), PhoneBookDatabase::numbersOf(query.value(4).toString()),
                           query.value(5).toString(), query.value(6).toBool()});
    if (query.lastError().isValid()) {
        fail(query.lastError().text());
        return std::nullopt;
    }
    return entries;
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
    QSqlQuery query(database());
    QVariantList values = valuesOf(entry, m_onServer);
    if (entry.id == 0) {
        if (!run(query, PhoneBookDatabase::insertStatement(m_onServer), values))
            return std::nullopt;
        if (m_onServer)
            return query.next() ? std::optional(query.value(0).toLongLong()) : std::nullopt;
        return query.lastInsertId().toLongLong();
    }
    values << entry.id;
    if (!run(query, PhoneBookDatabase::updateStatement(), values))
        return std::nullopt;
    if (query.numRowsAffected() != 1) {
        fail(QStringLiteral("この項目はほかの席で削除されています"));
        return std::nullopt;
    }
    return entry.id;
}

bool PhoneBookStore::inTransaction(const std::function<bool()>& work)
{
    if (!connect())
        return false;
    QSqlQuery query(database());
    if (!run(query, m_onServer ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), {}))
        return false;
    if (work() && run(query, QStringLiteral("COMMIT"), {}))
        return true;
    const QString why = m_lastError;
    QSqlQuery rollback(database());
    run(rollback, QStringLiteral("ROLLBACK"), {});
    m_lastError = why;
    return false;
}

std::optional<qint64> PhoneBookStore::save(const PhoneBookEntry& entry)
{
    std::optional<qint64> id;
    if (!inTransaction([&] { return (id = write(entry)).has_value(); }))
        return std::nullopt;
    return id;
}

bool PhoneBookStore::remove(qint64 id)
{
    return inTransaction([&] {
        QSqlQuery query(database());
        return run(query, PhoneBookDatabase::deleteStatement(), {id});
    });
}

std::optional<ImportPlan> PhoneBookStore::import(const PhoneBookFile& file)
{
    ImportPlan plan;
    const bool done = inTransaction([&] {
        QSqlQuery lock(database());
        const QString lockStatement = PhoneBookDatabase::lockStatement(m_onServer);
        if (!lockStatement.isEmpty() && !run(lock, lockStatement, {}))
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
