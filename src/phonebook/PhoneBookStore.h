#pragma once

#include "history/TableSession.h"
#include "phonebook/PhoneBookEntry.h"
#include "phonebook/PhoneBookImport.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

/// The phone book's table in the history's database (a file, or a postgresql:// URI), read and
/// written on the calling thread; one instance per thread. A PostgreSQL connection can also
/// listen for the changes every desk makes.
class PhoneBookStore
{
public:
    explicit PhoneBookStore(QString target);
    ~PhoneBookStore();

    PhoneBookStore(const PhoneBookStore&) = delete;
    PhoneBookStore& operator=(const PhoneBookStore&) = delete;

    const QString& target() const { return m_session.target(); }
    bool onServer() const { return m_session.onServer(); }

    /// Connects, unless connected. False when the database cannot be reached (`lastError`
    /// says why), or when it has no phone book (`missing`).
    bool connect() { return m_session.connect(); }
    void disconnect() { m_session.disconnect(); }
    /// After a failed `connect`: the database was reached and holds no phone book.
    bool missing() const { return m_session.missing(); }
    /// Whether the connection still answers; a connection that does not is dropped.
    bool ping() { return m_session.ping(); }
    /// On a server: calls `announced` with the key of each entry any desk adds, changes or
    /// deletes, from the thread's event loop, for as long as the connection lasts. Nothing on
    /// a file.
    bool listen(std::function<void(qint64 id)> announced);

    std::optional<std::vector<PhoneBookEntry>> all();
    /// The entries of `ids` that are still there.
    std::optional<std::vector<PhoneBookEntry>> some(const std::vector<qint64>& ids);
    /// Adds the entry (key 0) or changes it; its key.
    std::optional<qint64> save(const PhoneBookEntry& entry);
    bool remove(qint64 id);
    /// Plans and carries out an import in one transaction, against the book as it is then;
    /// the plan, with the keys of the entries added.
    std::optional<ImportPlan> import(const PhoneBookFile& file);

    const QString& lastError() const { return m_session.lastError(); }

private:
    std::optional<std::vector<PhoneBookEntry>> read(const QString& statement, const QVariantList& values);
    std::optional<qint64> write(const PhoneBookEntry& entry);

    TableSession m_session;
};
