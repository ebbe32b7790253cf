#pragma once

#include "calls/CallerNames.h"
#include "history/QueuedRelay.h"
#include "phonebook/PhoneBookImport.h"
#include "phonebook/PhoneBookIndex.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QThread;

/// The office's phone book as this desk uses it: a copy in memory (`index`) that a call is
/// looked up in, read from the history's database (a file, or the office's PostgreSQL
/// server) on a thread of its own. On the server every change is announced, and the copy
/// follows it within moments; when the server cannot be reached the last copy stays in use
/// (`Status::Away`) while a new connection is tried, and the whole book is read again once
/// there is one. Edits and imports run on the same thread and reach the copy when they
/// have committed. Lives on the user-interface thread, and reports there.
class PhoneBook final : public QObject, public CallerNames
{
    Q_OBJECT

public:
    enum class Status
    {
        Off,     ///< no database set, or no phone book in it
        Loading, ///< the first copy is being read
        Ready,   ///< the copy is the database's
        Away,    ///< the database cannot be reached: the last copy is in use, if any
    };

    struct Timing
    {
        /// Between two attempts to reach the database, and between two checks that it is there.
        std::chrono::milliseconds retry{3000};
        /// How long announced changes are gathered before they are read, in one query.
        std::chrono::milliseconds gather{50};
    };

    explicit PhoneBook(QObject* parent = nullptr);
    ~PhoneBook() override;

    /// Reads the phone book of the history `target` (a file name, or a postgresql:// URI), and
    /// on a server follows its changes. Empty: no phone book. A book open on another target
    /// is closed first; the same target again changes nothing.
    void open(const QString& target);
    void close();
    const QString& target() const { return m_target; }
    void setTiming(Timing timing) { m_timing = timing; }

    Status status() const { return m_status; }
    /// Why the database cannot be used, for the developer (password hidden); empty when it can.
    const QString& problem() const { return m_problem; }
    /// A line for the tray's tip while the copy is not the database's; empty otherwise.
    QString trayLine() const;
    /// Whether a copy has been read.
    bool isLoaded() const { return m_loaded; }
    const PhoneBookIndex& index() const { return m_index; }

    std::optional<Caller> callerOf(const QString& number) const override;

    /// How an edit ended: the entry's key, or an error for people (the database's words). Without
    /// a database it ends at once with an error.
    using Done = std::function<void(qint64 id, const QString& error)>;
    /// Adds the entry (key 0) or changes the one with its key.
    void save(const PhoneBookEntry& entry, Done done = {});
    void remove(qint64 id, Done done = {});
    /// Marks the entry as a nuisance caller, or takes the mark away.
    void setNuisance(qint64 id, bool nuisance, Done done = {});
    /// Imports the file's entries, all or none, in one transaction, planned against the
    /// book as the database holds it at that moment: the plan carried out, or an error.
    void import(PhoneBookFile file, std::function<void(const ImportPlan& plan, const QString& error)> done);

Q_SIGNALS:
    /// The copy has changed: read, or an entry added, changed or deleted here or elsewhere.
    void changed();
    void statusChanged(PhoneBook::Status status);

private:
    class Worker;

    void moveTo(Status status, const QString& problem = {});
    void loaded(PhoneBookIndex index);
    void applied(const std::vector<qint64>& ids, const std::vector<PhoneBookEntry>& entries);
    /// False when there is no database to work on.
    bool post(std::function<void(Worker&)> work);
    static QString noDatabase();

    QString m_target;
    Timing m_timing;
    Status m_status = Status::Off;
    QString m_problem;
    bool m_loaded = false;
    PhoneBookIndex m_index;
    std::shared_ptr<QueuedRelay> m_relay;
    QThread* m_thread = nullptr;
    Worker* m_worker = nullptr;
};
