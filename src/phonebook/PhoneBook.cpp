#include "phonebook/PhoneBook.h"

#include "calls/FollowProblem.h"
#include "history/WorkerThread.h"
#include "phonebook/PhoneBookStore.h"

#include <QSet>
#include <QTimer>

/// Owns the store, in the phone book's thread: reads the book, follows the announcements,
/// checks that the database is still there, and makes the edits.
class PhoneBook::Worker final : public QObject
{
public:
    Worker(PhoneBook& book, const QString& target, Timing timing, std::shared_ptr<QueuedRelay> relay)
        : m_book(book)
        , m_store(target)
        , m_relay(std::move(relay))
    {
        m_retry.setInterval(timing.retry);
        m_gather.setSingleShot(true);
        m_gather.setInterval(timing.gather);
        QObject::connect(&m_retry, &QTimer::timeout, this, [this] { check(); });
        QObject::connect(&m_gather, &QTimer::timeout, this, [this] { readAnnounced(); });
    }

    /// Reads the whole book, and follows it from then on.
    void start()
    {
        m_retry.start();
        load();
    }

    PhoneBookStore& store() { return m_store; }

    /// Reports to the book on its own thread.
    void report(std::function<void(PhoneBook&)> work)
    {
        m_relay->post([book = &m_book, work = std::move(work)] { work(*book); });
    }

    /// The store has failed: the book is away until it can be read again.
    void lost()
    {
        const bool missing = m_store.missing();
        const QString why = withoutPasswordOf(m_store.target(), m_store.lastError());
        m_loaded = false;
        report([missing, why](PhoneBook& book) { book.moveTo(missing ? Status::Off : Status::Away, why); });
    }

private:
    void load()
    {
        m_announced.clear();
        std::optional<std::vector<PhoneBookEntry>> entries;
        if (m_store.connect() && m_store.listen([this](qint64 id) { announced(id); }))
            entries = m_store.all();
        if (!entries) {
            m_store.disconnect();
            lost();
            return;
        }
        m_loaded = true;
        // The index is built here, not on the thread that shows windows.
        auto index = std::make_shared<PhoneBookIndex>(std::move(*entries));
        report([index](PhoneBook& book) { book.loaded(std::move(*index)); });
    }

    /// A copy that is not the database's is read again; one that is, is checked on a server,
    /// where a lost connection would otherwise go unnoticed and its announcements with it.
    void check()
    {
        if (!m_loaded)
            load();
        else if (m_store.onServer() && !m_store.ping())
            lost();
    }

    void announced(qint64 id)
    {
        m_announced.insert(id);
        if (!m_gather.isActive())
            m_gather.start();
    }

    void readAnnounced()
    {
        if (m_announced.isEmpty() || !m_loaded)
            return;
        const std::vector<qint64> ids(m_announced.cbegin(), m_announced.cend());
        m_announced.clear();
        const auto entries = m_store.some(ids);
        if (!entries) {
            lost();
            return;
        }
        report([ids, entries = *entries](PhoneBook& book) { book.applied(ids, entries); });
    }

    PhoneBook& m_book;
    PhoneBookStore m_store;
    std::shared_ptr<QueuedRelay> m_relay;
    // Children, so that they move to the thread with the worker.
    QTimer m_retry{this};
    QTimer m_gather{this};
    QSet<qint64> m_announced;
    bool m_loaded = false;
};

PhoneBook::PhoneBook(QObject* parent)
    : QObject(parent)
{}

PhoneBook::~PhoneBook()
{
    // Nobody is told: whoever listened may be going too.
    blockSignals(true);
    close();
}

void PhoneBook::open(const QString& target)
{
    if (target == m_target && (m_thread || target.isEmpty()))
        return;
    close();
    m_target = target;
    if (m_target.isEmpty())
        return;
    m_relay = std::make_shared<QueuedRelay>(this);
    m_worker = new Worker(*this, m_target, m_timing, m_relay);
    m_thread = startWorkerThread(m_worker, QStringLiteral("phone book"));
    moveTo(Status::Loading);
    post([](Worker& worker) { worker.start(); });
}

void PhoneBook::close()
{
    if (m_thread) {
        m_relay->detach();
        stopWorkerThread(m_thread);
        m_thread = nullptr;
        m_worker = nullptr;
    }
    m_target.clear();
    m_loaded = false;
    m_index = PhoneBookIndex();
    moveTo(Status::Off);
    Q_EMIT changed();
}

bool PhoneBook::post(std::function<void(Worker&)> work)
{
    if (!m_worker)
        return false;
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, work = std::move(work)] { work(*worker); }, Qt::QueuedConnection);
    return true;
}

QString PhoneBook::noDatabase()
{
    return QStringLiteral("電話帳のデータベースが設定されていません");
}

void PhoneBook::moveTo(Status status, const QString& problem)
{
    m_problem = status == Status::Away || status == Status::Off ? problem : QString();
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

QString PhoneBook::trayLine() const
{
    if (m_status != Status::Away)
        return {};
    return m_loaded ? QStringLiteral("電話帳: データベースに接続できません（最後に読んだ内容を使用中）")
                    : QStringLiteral("電話帳: データベースに接続できません");
}

void PhoneBook::loaded(PhoneBookIndex index)
{
    m_index = std::move(index);
    m_loaded = true;
    moveTo(Status::Ready);
    Q_EMIT changed();
}

void PhoneBook::applied(const std::vector<qint64>& ids, const std::vector<PhoneBookEntry>& entries)
{
    for (const qint64 id : ids)
        m_index.remove(id);
    for (const PhoneBookEntry& entry : entries)
        m_index.put(entry);
    Q_EMIT changed();
}

std::optional<Caller> PhoneBook::callerOf(const QString& number) const
{
    if (!m_loaded)
        return std::nullopt;
    const PhoneBookEntry* entry = m_index.find(number);
    if (!entry)
        return Caller{};
    return Caller{true, entry->name, entry->company, entry->nuisance};
}

void PhoneBook::save(const PhoneBookEntry& entry, Done done)
{
    if (!m_worker) {
        if (done)
            done(0, noDatabase());
        return;
    }
    post([entry, done = std::move(done)](Worker& worker) {
        const std::optional<qint64> id = worker.store().save(entry);
        const QString error = id ? QString() : worker.store().lastError();
        PhoneBookEntry saved = entry;
        saved.id = id.value_or(0);
        worker.report([id, saved, error, done](PhoneBook& book) {
            if (id)
                book.applied({saved.id}, {saved});
            if (done)
                done(saved.id, error);
        });
    });
}

void PhoneBook::remove(qint64 id, Done done)
{
    if (!m_worker) {
        if (done)
            done(0, noDatabase());
        return;
    }
    post([id, done = std::move(done)](Worker& worker) {
        const bool removed = worker.store().remove(id);
        const QString error = removed ? QString() : worker.store().lastError();
        worker.report([id, removed, error, done](PhoneBook& book) {
            if (removed)
                book.applied({id}, {});
            if (done)
                done(removed ? id : 0, error);
        });
    });
}

void PhoneBook::setNuisance(qint64 id, bool nuisance, Done done)
{
    const PhoneBookEntry* entry = m_index.entry(id);
    if (!entry) {
        if (done)
            done(0, QStringLiteral("この項目は電話帳にありません"));
        return;
    }
    PhoneBookEntry marked = *entry;
    marked.nuisance = nuisance;
    save(marked, std::move(done));
}

void PhoneBook::import(PhoneBookFile file, std::function<void(const ImportPlan& plan, const QString& error)> done)
{
    if (!m_worker) {
        if (done)
            done({}, noDatabase());
        return;
    }
    post([file = std::move(file), done = std::move(done)](Worker& worker) {
        const std::optional<ImportPlan> plan = worker.store().import(file);
        const QString error = plan ? QString() : worker.store().lastError();
        worker.report([plan = plan.value_or(ImportPlan{}), ok = plan.has_value(), error, done](PhoneBook& book) {
            if (ok) {
                std::vector<PhoneBookEntry> entries = plan.added;
                entries.insert(entries.end(), plan.merged.begin(), plan.merged.end());
                book.applied({}, entries);
            }
            if (done)
                done(plan, error);
        });
    });
}
