// The office's phone book as each call uses it: a caller's number looked up in the copy in
// memory (`PhoneBookIndex::find`, and `PhoneBook::callerOf` on a copy read from a file), for
// numbers as a line sends them, listed and not; beside it, its floor: the normal form alone.
// Then the time to read the whole book into a ready `PhoneBook` from an SQLite file (and from a
// throwaway PostgreSQL server with --postgres), and the memory the copy takes. Every listed
// number, in the notation it was typed in and as a line sends it, is checked to find its own
// entry: a miss fails the run.

#include "PhoneBookSamples.h"
#include "ProcessMemory.h"
#include "Samples.h"
#include "TextTable.h"
#include "ThrowawayCluster.h"

#include "calls/CallerNumber.h"
#include "history/PostgresHistoryStore.h"
#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookIndex.h"
#include "phonebook/PhoneBookStore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultEntries = 100000;
constexpr int kQuickEntries = 20000;
constexpr int kDefaultCalls = 20000;
constexpr int kDefaultLoads = 3;
constexpr int kQuickLoads = 1;
// One call in five is from a number the book does not hold.
constexpr int kUnlistedPercent = 20;
constexpr int kWarmUp = 200;
constexpr auto kLookupTarget = 1ms;
constexpr auto kLoadPatience = 120s;
const QString kDatabase = QStringLiteral("office");

QString microseconds(std::chrono::nanoseconds value)
{
    return QString::number(double(value.count()) / 1000.0, 'f', 2);
}

/// Bytes the allocator has handed out and not had back, in every arena.
long long heapInUse()
{
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<long long>(info.uordblks + info.hblkhd);
}

QString kib(long long bytes)
{
    return QString::number(bytes / 1024);
}

// The same entry in strings of its own: a copy shares nothing with the original, so that
// the index's memory is all its own.
PhoneBookEntry deepCopy(const PhoneBookEntry& entry)
{
    const auto copy = [](const QString& text) {
        return QString(text.constData(), text.size());
    };
    PhoneBookEntry copied{entry.id, copy(entry.name), copy(entry.reading), copy(entry.company),
                          {},       copy(entry.note), entry.nuisance};
    for (const QString& number : entry.numbers)
        copied.numbers << copy(number);
    return copied;
}

struct Call
{
    QString sent;
    /// The entry the number is listed under; 0 when it is not.
    qint64 id = 0;
};

// Calls as a line sends them: digits only, most from listed numbers.
std::vector<Call> callsFor(const std::vector<PhoneBookEntry>& book, int count)
{
    QRandomGenerator random(23);
    const QStringList unlisted = unlistedNumbers(book, count);
    std::vector<Call> calls;
    calls.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        if (int(random.bounded(100)) < kUnlistedPercent) {
            calls.push_back({unlisted.at(i), 0});
            continue;
        }
        const PhoneBookEntry& entry = book[random.bounded(quint32(book.size()))];
        calls.push_back(
            {CallerNumber::normalForm(entry.numbers.at(random.bounded(int(entry.numbers.size())))), entry.id});
    }
    return calls;
}

/// Looks every listed number up, as typed and as sent, and every unlisted one of `calls`;
/// what was not found as it should be, one line each.
template<typename Found>
QStringList misses(const std::vector<PhoneBookEntry>& book, const std::vector<Call>& calls, Found found)
{
    QStringList missed;
    for (const PhoneBookEntry& entry : book) {
        for (const QString& number : entry.numbers) {
            for (const QString& asked : {number, CallerNumber::normalForm(number)}) {
                if (!found(asked, &entry))
                    missed << QStringLiteral("%1 (entry %2 %3)").arg(asked).arg(entry.id).arg(entry.name);
            }
        }
    }
    for (const Call& call : calls) {
        if (call.id == 0 && !found(call.sent, nullptr))
            missed << QStringLiteral("%1 found though no entry holds it").arg(call.sent);
    }
    return missed;
}

struct LoadResult
{
    QString error;
    /// From `open` to the book ready, its `changed` seen on this thread.
    Samples ready;
    /// The rows read alone, on this thread, and the index built from them.
    Samples rows;
    Samples index;
    long long firstLoadRssKiB = -1;
    std::size_t entries = 0;
};

/// Opens a PhoneBook on `target` and waits until it is ready; how long that took.
std::optional<Clock::duration> load(PhoneBook& book, const QString& target)
{
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::optional<Clock::time_point> readyAt;
    QObject::connect(&book, &PhoneBook::changed, &loop, [&] {
        if (book.status() == PhoneBook::Status::Ready && !readyAt)
            readyAt = Clock::now();
        loop.quit();
    });
    QObject::connect(&book, &PhoneBook::statusChanged, &loop, &QEventLoop::quit);
    guard.start(kLoadPatience);
    const Clock::time_point start = Clock::now();
    book.open(target);
    while (!readyAt && guard.isActive() && book.status() != PhoneBook::Status::Off &&
           book.status() != PhoneBook::Status::Away)
        loop.exec();
    if (!readyAt)
        return std::nullopt;
    return *readyAt - start;
}

/// `rounds` loads of the book at `target`; the last one's book is left open in `kept`.
LoadResult measureLoads(const QString& target, int rounds, PhoneBook& kept)
{
    LoadResult result;
    for (int round = 0; round < rounds; ++round) {
        PhoneBookStore store(target);
        const Clock::time_point start = Clock::now();
        std::optional<std::vector<PhoneBookEntry>> rows = store.connect() ? store.all() : std::nullopt;
        if (!rows) {
            result.error = QStringLiteral("rows not read: ") + store.lastError();
            return result;
        }
        const Clock::time_point read = Clock::now();
        result.entries = rows->size();
        // Built, not freed: freeing it is no part of a load.
        const auto index = std::make_unique<PhoneBookIndex>(std::move(*rows));
        result.index.add(Clock::now() - read);
        result.rows.add(read - start);
    }
    for (int round = 0; round < rounds; ++round) {
        const bool last = round + 1 == rounds;
        PhoneBook own;
        PhoneBook& book = last ? kept : own;
        const long long before = ProcessMemory::now().residentKiB;
        const std::optional<Clock::duration> took = load(book, target);
        if (!took) {
            result.error = QStringLiteral("the phone book is not ready: ") + book.problem();
            return result;
        }
        result.ready.add(*took);
        if (round == 0)
            result.firstLoadRssKiB = ProcessMemory::now().residentKiB - before;
    }
    return result;
}

Samples timeLookups(const std::vector<Call>& calls, qsizetype& sink,
                    const std::function<qsizetype(const QString&)>& lookUp)
{
    for (int i = 0; i < kWarmUp; ++i)
        sink += lookUp(calls[std::size_t(i) % calls.size()].sent);
    Samples samples;
    samples.reserve(calls.size());
    for (const Call& call : calls) {
        const Clock::time_point start = Clock::now();
        sink += lookUp(call.sent);
        samples.add(Clock::now() - start);
    }
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The phone book: a caller's number looked up per call, the book read, its memory."));
    parser.addHelpOption();
    const QCommandLineOption entriesOption(QStringLiteral("entries"), QStringLiteral("Entries in the book."),
                                           QStringLiteral("n"), QString::number(kDefaultEntries));
    const QCommandLineOption callsOption(QStringLiteral("calls"), QStringLiteral("Calls looked up."),
                                         QStringLiteral("n"), QString::number(kDefaultCalls));
    const QCommandLineOption loadsOption(QStringLiteral("loads"), QStringLiteral("Times the book is read."),
                                         QStringLiteral("n"), QString::number(kDefaultLoads));
    const QCommandLineOption postgresOption(QStringLiteral("postgres"),
                                            QStringLiteral("Read the book from a throwaway PostgreSQL server too."));
    const QCommandLineOption quickOption(QStringLiteral("quick"), QStringLiteral("A smaller book, for a check."));
    parser.addOptions({entriesOption, callsOption, loadsOption, postgresOption, quickOption});
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const int entries =
        std::max(1, parser.isSet(entriesOption) || !quick ? parser.value(entriesOption).toInt() : kQuickEntries);
    const int callCount = std::max(1, parser.value(callsOption).toInt());
    const int loads =
        std::max(1, parser.isSet(loadsOption) || !quick ? parser.value(loadsOption).toInt() : kQuickLoads);

    printLine(QStringLiteral("  a book of %1 entries ...").arg(entries));
    const std::vector<PhoneBookEntry> book = samplePhoneBook(entries);
    std::size_t numberCount = 0;
    for (const PhoneBookEntry& entry : book)
        numberCount += std::size_t(entry.numbers.size());
    const std::vector<Call> calls = callsFor(book, callCount);
    const auto listedCalls = std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.id != 0; });

    // The index built here, from strings of its own: what the copy in memory takes.
    const long long heapBefore = heapInUse();
    const long long rssBefore = ProcessMemory::now().residentKiB;
    std::vector<PhoneBookEntry> copies;
    copies.reserve(book.size());
    for (const PhoneBookEntry& entry : book)
        copies.push_back(deepCopy(entry));
    const Clock::time_point buildStart = Clock::now();
    const PhoneBookIndex index(std::move(copies));
    const Clock::duration built = Clock::now() - buildStart;
    copies = {};
    const long long heapGrowth = heapInUse() - heapBefore;
    const long long rssGrowthKiB = ProcessMemory::now().residentKiB - rssBefore;

    QStringList failures;
    const QStringList indexMisses = misses(book, calls, [&](const QString& number, const PhoneBookEntry* entry) {
        const PhoneBookEntry* found = index.find(number);
        return entry ? found && found->id == entry->id && found->name == entry->name : !found;
    });
    for (const QString& miss : indexMisses.mid(0, 5))
        failures << QStringLiteral("PhoneBookIndex::find: ") + miss;

    printLine(QStringLiteral("  %1 lookups ...").arg(callCount));
    qsizetype sink = 0;
    const Samples floor = timeLookups(calls, sink, [](const QString& n) { return CallerNumber::normalForm(n).size(); });
    const Samples found =
        timeLookups(calls, sink, [&](const QString& n) { return qsizetype(index.find(n) != nullptr); });
    Samples foundListed;
    Samples foundUnlisted;
    for (const Call& call : calls) {
        const Clock::time_point start = Clock::now();
        sink += qsizetype(index.find(call.sent) != nullptr);
        (call.id ? foundListed : foundUnlisted).add(Clock::now() - start);
    }

    // The same book in a history file, read as the program reads it.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("cti.db"));
    QString error;
    Clock::time_point start = Clock::now();
    if (!createHistoryDatabase(file, &error, PhoneBookDatabase::createStatements(false)) ||
        !(error = writePhoneBook(file, book, false)).isEmpty()) {
        printLine(QStringLiteral("SUMMARY phonebook: FAILED: the SQLite file is not written: ") + error);
        return 1;
    }
    const Clock::duration fileWritten = Clock::now() - start;
    printLine(QStringLiteral("  SQLite file written in %1 ms; %2 loads ...").arg(milliseconds(fileWritten)).arg(loads));
    PhoneBook fromFile;
    const LoadResult sqlite = measureLoads(file, loads, fromFile);
    Samples callerOf;
    qsizetype bookMissCount = 0;
    if (!sqlite.error.isEmpty()) {
        failures << QStringLiteral("SQLite: ") + sqlite.error;
    } else {
        if (sqlite.entries != book.size())
            failures << QStringLiteral("SQLite: %1 entries read of %2").arg(sqlite.entries).arg(book.size());
        const QStringList bookMisses = misses(book, calls, [&](const QString& number, const PhoneBookEntry* entry) {
            const std::optional<Caller> caller = fromFile.callerOf(number);
            return caller && (entry ? caller->listed && caller->name == entry->name &&
                                          caller->company == entry->company && caller->nuisance == entry->nuisance
                                    : !caller->listed);
        });
        bookMissCount = bookMisses.size();
        for (const QString& miss : bookMisses.mid(0, 5))
            failures << QStringLiteral("PhoneBook::callerOf: ") + miss;
        if (bookMisses.size() > 5)
            failures << QStringLiteral("PhoneBook::callerOf: %1 misses in all").arg(bookMisses.size());
        callerOf = timeLookups(calls, sink, [&](const QString& n) { return fromFile.callerOf(n)->name.size(); });
    }
    if (indexMisses.size() > 5)
        failures << QStringLiteral("PhoneBookIndex::find: %1 misses in all").arg(indexMisses.size());
    fromFile.close();

    std::optional<LoadResult> postgres;
    Clock::duration serverWritten{};
    ThrowawayCluster cluster; // outlives every connection to it
    if (parser.isSet(postgresOption)) {
        const QString uri = cluster.uri(kDatabase);
        start = Clock::now();
        if (!cluster.start() || !cluster.createDatabase(kDatabase)) {
            failures << QStringLiteral("PostgreSQL: no server: ") + cluster.error();
        } else if (!createPostgresHistoryTable(uri, &error, PhoneBookDatabase::createStatements(true)) ||
                   !(error = writePhoneBook(uri, book, false)).isEmpty()) {
            failures << QStringLiteral("PostgreSQL: the table is not written: ") + error;
        } else {
            serverWritten = Clock::now() - start;
            printLine(QStringLiteral("  PostgreSQL server started and table written in %1 ms; %2 loads ...")
                          .arg(milliseconds(serverWritten))
                          .arg(loads));
            PhoneBook fromServer;
            postgres = measureLoads(uri, loads, fromServer);
            if (!postgres->error.isEmpty())
                failures << QStringLiteral("PostgreSQL: ") + postgres->error;
            else if (postgres->entries != book.size())
                failures << QStringLiteral("PostgreSQL: %1 entries read of %2").arg(postgres->entries).arg(book.size());
            else if (const std::optional<Caller> caller = fromServer.callerOf(book.back().numbers.first());
                     !caller || caller->name != book.back().name)
                failures << QStringLiteral("PostgreSQL: the last entry is not found");
        }
    }

    TextTable lookups({QStringLiteral("lookup"), QStringLiteral("calls"), QStringLiteral("p50 µs"),
                       QStringLiteral("p99 µs"), QStringLiteral("max µs")});
    const auto lookupRow = [&](const QString& name, const Samples& s) {
        lookups.addRow(
            {name, QString::number(s.count()), microseconds(s.p50()), microseconds(s.p99()), microseconds(s.max())});
    };
    lookupRow(QStringLiteral("PhoneBookIndex::find, all"), found);
    lookupRow(QStringLiteral("PhoneBookIndex::find, listed"), foundListed);
    lookupRow(QStringLiteral("PhoneBookIndex::find, not listed"), foundUnlisted);
    if (!callerOf.isEmpty())
        lookupRow(QStringLiteral("PhoneBook::callerOf (read from SQLite), all"), callerOf);
    lookupRow(QStringLiteral("floor: the normal form alone"), floor);
    lookups.print(QStringLiteral("A caller looked up per call in a book of %1 entries (%2 numbers): %3 calls as a line "
                                 "sends them, %4 listed, %5 not")
                      .arg(entries)
                      .arg(numberCount)
                      .arg(callCount)
                      .arg(listedCalls)
                      .arg(qsizetype(calls.size()) - listedCalls));

    TextTable loading(
        {QStringLiteral("read"), QStringLiteral("rounds"), QStringLiteral("p50 ms"), QStringLiteral("max ms")});
    const auto loadRows = [&](const QString& where, const LoadResult& r) {
        const auto row = [&](const QString& what, const Samples& s) {
            loading.addRow({where + what, QString::number(s.count()), milliseconds(s.p50()), milliseconds(s.max())});
        };
        row(QStringLiteral(": open() -> Ready (changed seen)"), r.ready);
        row(QStringLiteral(": the rows alone (PhoneBookStore::all)"), r.rows);
        row(QStringLiteral(": the index alone, built from them"), r.index);
    };
    loadRows(QStringLiteral("SQLite"), sqlite);
    if (postgres && postgres->error.isEmpty())
        loadRows(QStringLiteral("PostgreSQL"), *postgres);
    printLine(QString());
    loading.print(QStringLiteral("The whole book of %1 entries read into a ready PhoneBook (on its own thread), and "
                                 "its two parts on this thread")
                      .arg(entries));

    TextTable memory({QStringLiteral("memory"), QStringLiteral("KiB"), QStringLiteral("bytes per entry")});
    const auto memoryRow = [&](const QString& what, long long bytes) {
        memory.addRow({what, kib(bytes), QString::number(bytes / std::max(1, entries))});
    };
    memoryRow(QStringLiteral("index: heap in use, growth (mallinfo2)"), heapGrowth);
    memoryRow(QStringLiteral("index: VmRSS growth"), rssGrowthKiB * 1024);
    memoryRow(QStringLiteral("PhoneBook read from SQLite, first load: VmRSS growth (with its connection)"),
              sqlite.firstLoadRssKiB * 1024);
    printLine(QString());
    memory.print(QStringLiteral("The copy in memory (%1 entries; the index built in %2 ms here)")
                     .arg(entries)
                     .arg(milliseconds(built)));

    printLine(QString());
    for (const QString& failure : failures)
        printLine(QStringLiteral("  problem: ") + failure);
    if (!failures.isEmpty())
        printLine(QString());
    const std::chrono::nanoseconds worst = std::max(found.p99(), callerOf.p99());
    printLine(
        QStringLiteral("SUMMARY phonebook: lookup p99 %1 µs (find) / %2 µs (callerOf), max %3 µs, over %4 calls "
                       "in a book of %5 entries (target p99 %6 ms: %7); every listed number found: %8; read into "
                       "a ready PhoneBook p50 %9 ms from SQLite%10; index memory %11 KiB (%12 bytes per entry)%13")
            .arg(microseconds(found.p99()), microseconds(callerOf.p99()),
                 microseconds(std::max(found.max(), callerOf.max())))
            .arg(callCount)
            .arg(entries)
            .arg(std::chrono::duration_cast<std::chrono::milliseconds>(kLookupTarget).count())
            .arg(worst <= kLookupTarget ? QStringLiteral("met") : QStringLiteral("NOT met"),
                 indexMisses.isEmpty() && bookMissCount == 0 && sqlite.error.isEmpty()
                     ? QStringLiteral("yes (%1 numbers, as typed and as sent)").arg(numberCount)
                     : QStringLiteral("NO, %1 misses").arg(indexMisses.size() + bookMissCount),
                 milliseconds(sqlite.ready.p50()),
                 !postgres ? QString()
                 : postgres->error.isEmpty()
                     ? QStringLiteral(", %1 ms from PostgreSQL").arg(milliseconds(postgres->ready.p50()))
                     : QStringLiteral(", not read from PostgreSQL"),
                 kib(heapGrowth), QString::number(heapGrowth / std::max(1, entries)),
                 failures.isEmpty() ? QString() : QStringLiteral("; FAILED: %1 problems").arg(failures.size())));
    // What was looked up is kept, so that none of the looking up can be left out.
    volatile qsizetype kept = sink;
    return failures.isEmpty() && kept >= 0 ? 0 : 1;
}
