// The call-history window on a large table: how long a window takes from its construction
// until its first page is shown, how long a search takes from the keystroke (or the period
// chosen) until its first page is shown, and whether the process's resident memory grows
// with the table. Measured on an SQLite file and on a throwaway PostgreSQL server (Unix
// socket), each with the program's indexes and without any, beside the floor of the same
// query read directly with HistoryReader on this thread (no worker, no window).
//
// The tables hold the same generated calls on both databases: about 20,000 numbers (20
// frequent callers make a fifth of the calls; one number calls exactly 5 times) over ten
// years up to now, with a few hundred calls today.
//
// Then what people did with the calls is added to the tables with the program's indexes (one
// call in ten taken, messages, call-backs, a few done), and the window is measured again with
// its event columns: its first page, and the views only the events offer (「未対応」, the
// messages for the desk's person, and a memo's word searched for).

#include "ProcessMemory.h"
#include "Samples.h"
#include "TextTable.h"
#include "ThrowawayCluster.h"

#include "app/SharedState.h"
#include "calls/BrowserLauncher.h"
#include "calls/CallerNumber.h"
#include "dialogs/FileChooser.h"
#include "dialogs/HistoryWindow.h"
#include "history/CallEvent.h"
#include "history/CallEventDatabase.h"
#include "history/CallEvents.h"
#include "history/HistoryBrowser.h"
#include "history/HistoryReader.h"
#include "ui/HistoryTableModel.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr qint64 kDefaultRows = 1000000;
constexpr qint64 kQuickRows = 100000;
constexpr qint64 kSmallRows = 10000;
constexpr int kDefaultWindows = 50;
constexpr int kQuickWindows = 10;
constexpr int kDefaultRounds = 30;
constexpr int kQuickRounds = 8;
constexpr int kWarmUps = 2;
constexpr int kScrolledPages = 5;
constexpr int kFrequentCallers = 20;
constexpr int kRareNumber = 19999; // the number that calls exactly kRareCalls times
constexpr int kRareCalls = 5;
constexpr int kNumbers = 20000;
constexpr auto kPageTarget = 200ms;
constexpr auto kSearchTarget = 200ms;
// What "does not grow with the table" allows for: SQLite's page cache (2 MB per
// connection) fills on a large file and stays at that size; the allocator's noise.
constexpr long long kMemoryToleranceKiB = 4096;
constexpr auto kPatience = 60s;
// What people did with the calls, written in bulk once the history-only figures are taken: one
// call in ten taken, a message on one in thirty (one in sixty wanting a call-back, one message
// in a hundred about an estimate), one in 180 called back and one in 150 done, each after the
// events before it. The people take turns.
constexpr int kClaimEvery = 10;
constexpr int kMessageEvery = 30;
constexpr int kCallBackEvery = 60;
constexpr int kCalledBackEvery = 180;
constexpr int kDoneEvery = 150;
constexpr int kMemoEvery = 3000;
const QString kMemoWord = QStringLiteral("見積書");
const std::array<QString, 8> kPeople = {QStringLiteral("山田"), QStringLiteral("佐藤"), QStringLiteral("鈴木"),
                                        QStringLiteral("高橋"), QStringLiteral("田中"), QStringLiteral("伊藤"),
                                        QStringLiteral("渡辺"), QStringLiteral("中村")};

class NoBrowser final : public BrowserLauncher
{
public:
    void OpenUrlInBrowser(const QString&) override {}
};

class NoFiles final : public FileChooser
{
public:
    std::optional<QString> chooseFileToOpen(QWidget*) override { return std::nullopt; }
    std::optional<QString> chooseFileToSave(QWidget*, const QString&) override { return std::nullopt; }
};

// Seconds since 1970 of a local date and time read as if it were UTC: the history stores
// local time without a zone, and both databases turn such a count back into the same text.
qint64 naiveSeconds(const QDateTime& local)
{
    return QDateTime(local.date(), local.time(), Qt::UTC).toSecsSinceEpoch();
}

// The statement that fills an empty "history" with `rows` calls, in SQLite's dialect or
// PostgreSQL's. Call x (1..rows) is made by number k; k's text is a Tokyo number (even k) or
// a mobile one, unique per k. The calls before today are spread evenly over ten years up to
// midnight, in the order of their keys; the last `todays` fall between midnight and now.
QString fillStatement(bool onServer, qint64 rows)
{
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 start = naiveSeconds(now.addYears(-10));
    const qint64 midnight = naiveSeconds(QDateTime(now.date(), QTime(0, 0)));
    const qint64 end = naiveSeconds(now);
    const qint64 todays = std::max<qint64>(50, rows / 2000);
    const qint64 older = rows - todays;
    const qint64 step = (midnight - start) / older;
    const qint64 todayStep = (end - midnight) / todays;
    const auto n = [](qint64 value) {
        return QString::number(value);
    };
    // Text is put together by hand: the statements hold % signs of their own.
    const QString number = u"CASE WHEN x % " + n(rows / kRareCalls) + u" = 7 THEN " + n(kRareNumber) +
                           u" WHEN x % 5 = 0 THEN (x / 5) % " + n(kFrequentCallers) + u" ELSE " + n(kFrequentCallers) +
                           u" + (x * 7919) % " + n(kRareNumber - kFrequentCallers) + u" END";
    const QString seconds = u"CASE WHEN x <= " + n(older) + u" THEN " + n(start) + u" + (x - 1) * " + n(step) +
                            u" + (x * 2654435761) % " + n(step) + u" ELSE " + n(midnight) + u" + (x - " + n(older) +
                            u" - 1) * " + n(todayStep) + u" END";
    const QString prefix = QStringLiteral("CASE WHEN k % 2 = 0 THEN '03' WHEN k % 4 = 1 THEN '090' ELSE '080' END");
    if (onServer)
        return u"INSERT INTO history (telnum, calldate) SELECT " + prefix +
               u" || lpad(((k * 48271) % 100000000)::text, 8, '0'), timestamp 'epoch' + s * interval '1 second' "
               u"FROM (SELECT " +
               number + u" AS k, " + seconds + u" AS s FROM generate_series(1::bigint, " + n(rows) + u") x) calls";
    return u"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " + n(rows) +
           u") INSERT INTO history (telnum, calldate) SELECT " + prefix +
           u" || printf('%08d', (k * 48271) % 100000000), datetime(s, 'unixepoch') FROM (SELECT " + number +
           u" AS k, " + seconds + u" AS s FROM n)";
}

// The text of number k, as fillStatement writes it.
QString numberText(int k)
{
    const QString prefix = k % 2 == 0   ? QStringLiteral("03")
                           : k % 4 == 1 ? QStringLiteral("090")
                                        : QStringLiteral("080");
    return prefix + QStringLiteral("%1").arg((qint64(k) * 48271) % 100000000, 8, 10, QLatin1Char('0'));
}

// The statements that add the events above to a filled history, in SQLite's dialect or
// PostgreSQL's, kind after kind so that each call's events keep their order.
QStringList eventStatements(bool onServer)
{
    const auto n = [](qint64 value) {
        return QString::number(value);
    };
    const auto person = [&](const QString& turn) -> QString {
        QString cases = u"CASE (" + turn + u") % " + n(qint64(kPeople.size()));
        for (std::size_t i = 0; i < kPeople.size(); ++i)
            cases += u" WHEN " + n(qint64(i)) + u" THEN '" + kPeople[i] + u"'";
        return cases + u" END";
    };
    const auto later = [&](int minutes) -> QString {
        if (onServer)
            return u"calldate + interval '" + n(minutes) + u" minutes'";
        return u"datetime(calldate, '+" + n(minutes) + u" minutes')";
    };
    const QString no = onServer ? QStringLiteral("false") : QStringLiteral("0");
    const QString taker = person(u"id / " + n(kClaimEvery));
    const auto insert = [&](const QString& kind, const QString& recipient, const QString& body, const QString& callBack,
                            int minutes, int every) -> QString {
        return u"INSERT INTO call_events (call_id, kind, person, recipient, body, callback, written) SELECT id, '" +
               kind + u"', " + taker + u", " + recipient + u", " + body + u", " + callBack + u", " + later(minutes) +
               u" FROM history WHERE id % " + n(every) + u" = 0 ORDER BY id";
    };
    return {
        insert(QStringLiteral("claim"), QStringLiteral("''"), QStringLiteral("''"), no, 2, kClaimEvery),
        insert(QStringLiteral("message"), person(u"id / " + n(kMessageEvery) + u" + 3"),
               u"CASE WHEN id % " + n(kMemoEvery) + u" = 0 THEN '" + kMemoWord +
                   u"の件でお電話がありました' ELSE 'お電話がありました' END",
               u"id % " + n(kCallBackEvery) + u" = 0", 5, kMessageEvery),
        insert(QStringLiteral("calledback"), QStringLiteral("''"), QStringLiteral("''"), no, 60, kCalledBackEvery),
        insert(QStringLiteral("done"), QStringLiteral("''"), QStringLiteral("''"), no, 90, kDoneEvery),
    };
}

// One history table to read: where it is and what it holds.
struct Table
{
    bool onServer = false;
    bool indexed = false;
    qint64 rows = 0;
    QString target; // path3: the SQLite file or the postgresql:// URI
};

QString describe(const Table& table)
{
    return QStringLiteral("%1, %2").arg(table.onServer ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"),
                                        table.indexed ? QStringLiteral("indexes") : QStringLiteral("no index"));
}

// The file's base name or the database's name of a table.
QString tableName(const Table& table)
{
    return QStringLiteral("history_%1_%2").arg(table.rows).arg(table.indexed ? "indexed" : "bare");
}

// Makes the tables: an SQLite file in `dir` or a database on `cluster`, the table made with
// plain SQL, filled in one statement, then (when `indexed`) the program's own index
// statements, then the planner's statistics. Prints what it did and how long it took.
std::optional<Table> makeTable(bool onServer, bool indexed, qint64 rows, const QTemporaryDir& dir,
                               ThrowawayCluster& cluster, QString& error)
{
    const QString name = tableName(Table{onServer, indexed, rows, {}});
    Table table{onServer, indexed, rows, {}};
    const auto started = Clock::now();
    std::chrono::nanoseconds filled{};
    if (onServer) {
        const auto run = [&](const QString& sql) {
            if (cluster.query(name, sql))
                return true;
            error = cluster.error();
            return false;
        };
        if (!cluster.createDatabase(name)) {
            error = cluster.error();
            return std::nullopt;
        }
        if (!run(QStringLiteral("CREATE TABLE history (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, telnum "
                                "text NOT NULL, calldate timestamp NOT NULL)")) ||
            !run(fillStatement(true, rows)))
            return std::nullopt;
        filled = Clock::now() - started;
        if (indexed)
            for (const QString& statement : HistoryDatabase::indexStatements(true))
                if (!run(statement))
                    return std::nullopt;
        if (!run(QStringLiteral("VACUUM ANALYZE history")))
            return std::nullopt;
        table.target = cluster.uri(name);
    } else {
        table.target = dir.filePath(name + QStringLiteral(".db"));
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(table.target);
            QSqlQuery query(db);
            const auto run = [&](const QString& sql) {
                if (query.exec(sql))
                    return true;
                error = query.lastError().text();
                return false;
            };
            ok = db.open() && db.transaction() &&
                 run(QStringLiteral("CREATE TABLE history (id INTEGER PRIMARY KEY, telnum TEXT NOT NULL, calldate "
                                    "TEXT NOT NULL)")) &&
                 run(fillStatement(false, rows)) && db.commit();
            filled = Clock::now() - started;
            if (ok && indexed)
                for (const QString& statement : HistoryDatabase::indexStatements(false))
                    ok = ok && run(statement);
            ok = ok && run(QStringLiteral("ANALYZE"));
            if (!ok && error.isEmpty())
                error = db.lastError().text();
            query.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        if (!ok)
            return std::nullopt;
    }
    const auto total = Clock::now() - started;
    printLine(QStringLiteral("  %1 rows, %2: filled in %3 s, %4 in %5 s")
                  .arg(rows)
                  .arg(describe(table))
                  .arg(std::chrono::duration<double>(filled).count(), 0, 'f', 1)
                  .arg(onServer ? (indexed ? QStringLiteral("indexes made and VACUUM ANALYZE")
                                           : QStringLiteral("VACUUM ANALYZE"))
                                : (indexed ? QStringLiteral("indexes made and ANALYZE") : QStringLiteral("ANALYZE")))
                  .arg(std::chrono::duration<double>(total - filled).count(), 0, 'f', 1));
    return table;
}

// Gives a filled table the events table as the program makes it (its indexes, and on the
// server its announcement), fills it with eventStatements, and takes the planner's statistics
// again. Prints how many events and how long it took.
bool addEvents(const Table& table, ThrowawayCluster& cluster, QString& error)
{
    const QString name = tableName(table);
    const QStringList statements =
        CallEventDatabase::createStatements(table.onServer) + eventStatements(table.onServer) +
        QStringList{table.onServer ? QStringLiteral("VACUUM ANALYZE call_events") : QStringLiteral("ANALYZE")};
    const QString countStatement = QStringLiteral("SELECT count(*) FROM call_events");
    const auto started = Clock::now();
    QString events;
    if (table.onServer) {
        for (const QString& statement : statements)
            if (!cluster.query(name, statement)) {
                error = cluster.error();
                return false;
            }
        QList<QStringList> rows;
        if (!cluster.query(name, countStatement, &rows) || rows.isEmpty() || rows.front().isEmpty()) {
            error = cluster.error();
            return false;
        }
        events = rows.front().front();
    } else {
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(table.target);
            QSqlQuery query(db);
            ok = db.open() && db.transaction();
            for (const QString& statement : statements.mid(0, statements.size() - 1))
                ok = ok && query.exec(statement);
            ok = ok && db.commit() && query.exec(statements.back()) && query.exec(countStatement) && query.next();
            if (ok)
                events = query.value(0).toString();
            else
                error = query.lastError().isValid() ? query.lastError().text() : db.lastError().text();
            query.finish();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        if (!ok)
            return false;
    }
    printLine(QStringLiteral("  %1: %2 events added with the events table and its indexes in %3 s")
                  .arg(describe(table), events)
                  .arg(std::chrono::duration<double>(Clock::now() - started).count(), 0, 'f', 1));
    return true;
}

// Runs the event loop until `done` holds; false when it does not within `patience`.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience)
{
    const QDeadlineTimer deadline(patience);
    // The timer only wakes the loop, so that the deadline is looked at without spinning.
    QTimer wake;
    wake.start(10);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Lets deleted objects and the readers' finished threads go before the next window.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// A history window as a person opens it, with the moment each `reset` arrived.
struct OpenWindow
{
    explicit OpenWindow(const SharedState& state)
        : window(std::make_unique<HistoryWindow>(state, launcher, files))
    {
        QObject::connect(&window->browser(), &HistoryBrowser::reset, window.get(), [this] {
            ++resets;
            lastReset = Clock::now();
        });
        QObject::connect(&window->browser(), &HistoryBrowser::appended, window.get(), [this] { ++appends; });
    }

    QAbstractItemModel& model() const { return *window->lstHistory->model(); }

    /// Waits for the next `reset`: when it arrived, or nothing.
    std::optional<Clock::time_point> nextReset()
    {
        const int before = resets;
        if (!runUntil([&] { return resets > before; }))
            return std::nullopt;
        return lastReset;
    }

    NoBrowser launcher;
    NoFiles files;
    std::unique_ptr<HistoryWindow> window;
    int resets = 0;
    int appends = 0;
    Clock::time_point lastReset;
};

// One search as a person makes it in the window.
struct SearchCase
{
    QString name;
    QString typed;
    int period = 0; // index into HistoryWindow::kPeriods
    QDate from;
    QDate to;
    bool expectRows = true;

    HistoryFilter filter(const QDate& today) const
    {
        return HistoryFilter::of(CallerNumber::searchFragment(typed), HistoryWindow::kPeriods[period], today, from, to);
    }

    void apply(HistoryWindow& window) const
    {
        window.txtSearch->setText(typed);
        if (from.isValid()) {
            window.dtFrom->setDate(from);
            window.dtTo->setDate(to);
        }
        window.cboPeriod->setCurrentIndex(period);
    }
};

// Whether the window shows what `filter` asks for: the browser searched for it and every row
// shown matches it.
bool shows(OpenWindow& open, const HistoryFilter& filter, bool expectRows)
{
    if (open.window->browser().filter() != filter)
        return false;
    const QAbstractItemModel& model = open.model();
    if (expectRows != (model.rowCount() > 0))
        return false;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString date = model.index(row, 0).data().toString().left(10);
        // The number as stored (the cell shows it as written, hyphens and all).
        const QString number = model.index(row, 1).data(Qt::ToolTipRole).toString();
        const std::optional<QDate> day = parseHistoryDate(date);
        if (!day || !number.contains(filter.fragment) || (filter.from && *day < *filter.from) ||
            (filter.to && *day > *filter.to))
            return false;
    }
    return true;
}

// Goes back to all calls, no fragment (when the window shows anything else) and waits.
bool showAll(OpenWindow& open)
{
    if (open.window->filter() == HistoryFilter{})
        return true;
    open.window->txtSearch->clear();
    open.window->cboPeriod->setCurrentIndex(0);
    open.window->cboProgress->setCurrentIndex(0);
    return open.nextReset().has_value() && shows(open, HistoryFilter{}, true);
}

// How long one search takes in `open`'s window, from the change to its first page.
std::optional<Samples::Duration> timeSearch(OpenWindow& open, const SearchCase& search, const QDate& today)
{
    if (!showAll(open))
        return std::nullopt;
    const auto started = Clock::now();
    search.apply(*open.window);
    const std::optional<Clock::time_point> shown = open.nextReset();
    if (!shown || !shows(open, search.filter(today), search.expectRows))
        return std::nullopt;
    return *shown - started;
}

// How long a window takes from its construction to its first page (then it is destroyed).
// With `events`, the window shows what people did with the calls, and its first page must hold
// some of it.
std::optional<Samples::Duration> timeFirstPage(const SharedState& state, CallEvents* events = nullptr)
{
    const auto started = Clock::now();
    OpenWindow open(state);
    if (events)
        open.window->setCallEvents(events);
    open.window->show();
    const std::optional<Clock::time_point> shown = open.nextReset();
    bool ok = shown && open.model().rowCount() > 0;
    if (ok && events) {
        const auto& model = static_cast<const HistoryTableModel&>(open.model());
        bool someEvents = false;
        for (int row = 0; row < model.rowCount() && !someEvents; ++row)
            someEvents = !model.entry(row).events.empty();
        ok = someEvents && !open.window->lstHistory->isColumnHidden(HistoryTableModel::State);
    }
    open.window.reset();
    settle();
    if (!ok)
        return std::nullopt;
    return *shown - started;
}

// The floor under the first page: a reader made on this thread and its one page() call.
std::optional<Samples::Duration> timeBarePage(const QString& target)
{
    bool ok = true;
    const auto elapsed = timed(
        [&] {
            HistoryReader reader(target);
            const std::optional<HistoryPage> page = reader.page(HistoryFilter{});
            return page && !page->rows.empty();
        },
        ok);
    return ok ? std::optional(elapsed) : std::nullopt;
}

// Scrolls the table to its end `pages` times, so that the view reads a page each time.
bool scrollPages(OpenWindow& open, int pages)
{
    QTableView& view = *open.window->lstHistory;
    for (int i = 0; i < pages; ++i) {
        const int rows = open.model().rowCount();
        const int appends = open.appends;
        // The scroll bar reaches its end only once the view has laid out the rows it has.
        if (!runUntil([&] { return view.verticalScrollBar()->maximum() > 0; }, 5s))
            return false;
        view.scrollToBottom();
        if (!runUntil([&] { return open.appends > appends && open.model().rowCount() > rows; }))
            return false;
        runUntil([&] { return view.verticalScrollBar()->value() < view.verticalScrollBar()->maximum(); }, 2s);
    }
    return true;
}

// A view of the calls that only a window with the call events offers, as a person chooses it,
// and what each row it shows must be.
struct EventCase
{
    QString name;
    std::function<void(HistoryWindow&)> apply;
    HistoryFilter filter;
    std::function<bool(const HistoryEntry&)> matches;
};

// How long `search` takes in `open`'s window, from the change to its first page, every row of
// which it must match.
std::optional<Samples::Duration> timeEventCase(OpenWindow& open, const EventCase& search)
{
    if (!showAll(open))
        return std::nullopt;
    const auto started = Clock::now();
    search.apply(*open.window);
    const std::optional<Clock::time_point> shown = open.nextReset();
    if (!shown || !(open.window->browser().filter() == search.filter))
        return std::nullopt;
    const auto& model = static_cast<const HistoryTableModel&>(open.model());
    if (model.rowCount() == 0)
        return std::nullopt;
    for (int row = 0; row < model.rowCount(); ++row)
        if (!search.matches(model.entry(row)))
            return std::nullopt;
    return *shown - started;
}

struct EventsResult
{
    Table table;
    Samples window;
    Samples floor;
    std::vector<Samples> caseWindow;
    std::vector<Samples> caseFloor;
};

struct FirstPageResult
{
    Table table;
    Samples window;
    Samples floor;
};

struct SearchResult
{
    Table table;
    std::vector<Samples> window; // per case
    std::vector<Samples> floor;
};

struct MemoryResult
{
    bool onServer = false;
    bool indexed = false;
    long long smallKiB = -1;
    long long largeKiB = -1;
};

// The offscreen platform's remarks on every window shown say nothing about the figures.
QtMessageHandler g_qtMessages = nullptr;
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("does not support propagateSizeHints")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    g_qtMessages(type, context, message);
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_qtMessages = qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("First page, search and memory of the call-history window on a large table."));
    parser.addHelpOption();
    const QCommandLineOption quickOption(QStringLiteral("quick"),
                                         QStringLiteral("100,000 rows, 10 windows and 8 rounds of searches."));
    const QCommandLineOption rowsOption(QStringLiteral("rows"), QStringLiteral("Rows of the large tables."),
                                        QStringLiteral("count"));
    const QCommandLineOption windowsOption(QStringLiteral("windows"),
                                           QStringLiteral("Windows opened per table for the first page."),
                                           QStringLiteral("count"));
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Rounds of each search per table."),
                                          QStringLiteral("count"));
    parser.addOptions({quickOption, rowsOption, windowsOption, roundsOption});
    parser.process(app);
    const bool quick = parser.isSet(quickOption);
    const auto count = [&](const QCommandLineOption& option, qint64 fallback, qint64 least) {
        bool ok = false;
        const qint64 value = parser.value(option).toLongLong(&ok);
        return ok && value >= least ? value : fallback;
    };
    const qint64 rows = count(rowsOption, quick ? kQuickRows : kDefaultRows, kNumbers);
    const int windows = int(count(windowsOption, quick ? kQuickWindows : kDefaultWindows, 1));
    const int rounds = int(count(roundsOption, quick ? kQuickRounds : kDefaultRounds, 1));

    const auto failed = [](const QString& why) {
        printLine(QStringLiteral("SUMMARY history window: FAILED: ") + why);
        return 1;
    };

    QTemporaryDir dir;
    ThrowawayCluster cluster;
    if (!dir.isValid())
        return failed(QStringLiteral("no temporary directory"));
    if (!cluster.start())
        return failed(QStringLiteral("no server: ") + cluster.error());

    printLine(QStringLiteral("Making the tables (one statement each; the planner's statistics after the indexes):"));
    std::vector<Table> small;
    std::vector<Table> large;
    QString error;
    for (const bool onServer : {false, true})
        for (const bool indexed : {true, false})
            for (const qint64 size : {kSmallRows, rows}) {
                const std::optional<Table> table = makeTable(onServer, indexed, size, dir, cluster, error);
                if (!table)
                    return failed(QStringLiteral("cannot make the table: ") + error);
                (size == kSmallRows ? small : large).push_back(*table);
            }

    const QDate today = QDate::currentDate();
    const QString common = numberText(3).right(4);
    const QString rare = numberText(kRareNumber);
    QString rareTyped;
    for (qsizetype i = 0; i < rare.size(); ++i) {
        if (i == 3 || i == 7)
            rareTyped += QChar(u'－');
        rareTyped += QChar(char16_t(u'０' + (rare[i].unicode() - u'0')));
    }
    const QString nothing = QStringLiteral("09099999999");
    const QDate pastTo = today.addYears(-3);
    const QDate pastFrom = pastTo.addDays(-30);
    const auto typing = [](const QString& name, const QString& typed, bool expectRows = true) {
        return SearchCase{name, typed, 0, {}, {}, expectRows};
    };
    const auto period = [](const QString& name, int index, const QDate& from = {}, const QDate& to = {}) {
        return SearchCase{name, {}, index, from, to, true};
    };
    const std::vector<SearchCase> cases = {
        typing(QStringLiteral("common fragment \"%1\"").arg(common), common),
        typing(QStringLiteral("rare number (%1 calls)").arg(kRareCalls), rare),
        typing(QStringLiteral("rare number typed \"%1\"").arg(rareTyped), rareTyped),
        typing(QStringLiteral("number that never called"), nothing, false),
        period(QStringLiteral("period: today"), 1),
        period(QStringLiteral("period: this month"), 4),
        period(QStringLiteral("period: %1 to %2").arg(pastFrom.toString(Qt::ISODate), pastTo.toString(Qt::ISODate)), 5,
               pastFrom, pastTo),
    };

    // Every table must hold what the cases expect of it.
    for (const Table& table : large) {
        HistoryReader reader(table.target);
        const auto found = [&](const QString& fragment) {
            qint64 matches = 0;
            reader.forEach(HistoryFilter{fragment, {}, {}}, [&](const HistoryEntry&) { return ++matches < 1000; });
            return matches;
        };
        if (found(rare) != kRareCalls || found(nothing) != 0 || !reader.lastError().isEmpty())
            return failed(
                QStringLiteral("%1 does not hold the calls expected: %2").arg(describe(table), reader.lastError()));
    }

    // 3. Memory first, while the heap holds only what a window needs: the same window and
    // the same steps on the small table (once to warm up, once measured), then on the large.
    printLine(QStringLiteral("Memory: a window, %1 pages scrolled, each search once ...").arg(kScrolledPages));
    std::vector<MemoryResult> memory;
    for (std::size_t t = 0; t < large.size(); ++t) {
        MemoryResult result{large[t].onServer, large[t].indexed};
        for (const Table* table : {&small[t], &small[t], &large[t]}) {
            SharedState state;
            state.urlSettings.path3 = table->target;
            {
                OpenWindow open(state);
                open.window->show();
                if (!open.nextReset() || !scrollPages(open, kScrolledPages))
                    return failed(QStringLiteral("%1: the window did not read its pages").arg(describe(*table)));
                for (const SearchCase& search : cases)
                    if (!timeSearch(open, search, today))
                        return failed(QStringLiteral("%1: %2 did not show").arg(describe(*table), search.name));
                if (!showAll(open))
                    return failed(QStringLiteral("%1: all calls did not show again").arg(describe(*table)));
                (table == &large[t] ? result.largeKiB : result.smallKiB) = ProcessMemory::now().residentKiB;
            }
            settle();
        }
        memory.push_back(result);
    }

    // 1. The first page of a new window, beside a bare reader's first page.
    std::vector<FirstPageResult> firstPages;
    for (const Table& table : large) {
        printLine(QStringLiteral("First page: %1 windows on %2 ...").arg(windows).arg(describe(table)));
        SharedState state;
        state.urlSettings.path3 = table.target;
        FirstPageResult result{table, {}, {}};
        for (int i = 0; i < kWarmUps + windows; ++i) {
            const std::optional<Samples::Duration> window = timeFirstPage(state);
            const std::optional<Samples::Duration> floor = timeBarePage(table.target);
            if (!window || !floor)
                return failed(QStringLiteral("%1: no first page").arg(describe(table)));
            if (i < kWarmUps)
                continue;
            result.window.add(*window);
            result.floor.add(*floor);
        }
        firstPages.push_back(std::move(result));
    }

    // 2. Searches in one open window, each after going back to all calls, beside the same
    // page read by a kept reader on this thread.
    std::vector<SearchResult> searches;
    for (const Table& table : large) {
        printLine(QStringLiteral("Search: %1 rounds of %2 searches on %3 ...")
                      .arg(rounds)
                      .arg(cases.size())
                      .arg(describe(table)));
        SharedState state;
        state.urlSettings.path3 = table.target;
        SearchResult result{table, std::vector<Samples>(cases.size()), std::vector<Samples>(cases.size())};
        HistoryReader reader(table.target);
        OpenWindow open(state);
        open.window->show();
        if (!open.nextReset())
            return failed(QStringLiteral("%1: no first page").arg(describe(table)));
        for (int round = 0; round < kWarmUps + rounds; ++round)
            for (std::size_t c = 0; c < cases.size(); ++c) {
                const std::optional<Samples::Duration> window = timeSearch(open, cases[c], today);
                bool ok = true;
                const HistoryFilter filter = cases[c].filter(today);
                const auto floor = timed([&] { return reader.page(filter).has_value(); }, ok);
                if (!window || !ok)
                    return failed(QStringLiteral("%1: %2 did not show").arg(describe(table), cases[c].name));
                if (round < kWarmUps)
                    continue;
                result.window[c].add(*window);
                result.floor[c].add(floor);
            }
        open.window.reset();
        settle();
        searches.push_back(std::move(result));
    }

    // 4. What people did with the calls, added to the tables with the program's indexes: the
    // first page with its columns, and the views only the events offer, beside a bare reader.
    printLine(QStringLiteral("Call events: one call in %1 taken, a message on one in %2, ...")
                  .arg(kClaimEvery)
                  .arg(kMessageEvery));
    std::vector<Table> eventTables;
    for (const Table& table : large) {
        if (!table.indexed)
            continue;
        if (!addEvents(table, cluster, error))
            return failed(QStringLiteral("%1: cannot add the events: %2").arg(describe(table), error));
        HistoryReader reader(table.target);
        // A new reader finds out at its first read whether the database has the events table,
        // and builds its conditions on that from the next read on.
        reader.newestId();
        qint64 memos = 0;
        reader.forEach(HistoryFilter{kMemoWord, {}, {}}, [&](const HistoryEntry&) { return ++memos < 100000; });
        if (memos != table.rows / kMemoEvery || !reader.lastError().isEmpty())
            return failed(QStringLiteral("%1: %2 calls with the memo word, not %3 %4")
                              .arg(describe(table))
                              .arg(memos)
                              .arg(table.rows / kMemoEvery)
                              .arg(reader.lastError()));
        eventTables.push_back(table);
    }
    const QString me = kPeople[0];
    HistoryFilter openCalls;
    openCalls.openOnly = true;
    HistoryFilter messagesForMe;
    messagesForMe.messagesFor = me;
    const std::vector<EventCase> eventCases = {
        {QStringLiteral("「未対応」 only"), [](HistoryWindow& window) { window.cboProgress->setCurrentIndex(1); },
         openCalls,
         [](const HistoryEntry& entry) {
             return entry.events.empty();
         }},
        {QStringLiteral("「自分宛ての伝言」 (%1)").arg(me),
         [](HistoryWindow& window) { window.cboProgress->setCurrentIndex(2); }, messagesForMe,
         [me](const HistoryEntry& entry) {
             return progressOf(entry.events).isOpenFor(me);
         }},
        {QStringLiteral("memo search \"%1\" (%2 calls)").arg(kMemoWord).arg(rows / kMemoEvery),
         [](HistoryWindow& window) { window.txtSearch->setText(kMemoWord); },
         HistoryFilter::of(CallerNumber::searchFragment(kMemoWord), HistoryWindow::kPeriods[0], today),
         [](const HistoryEntry& entry) {
             return std::any_of(entry.events.begin(), entry.events.end(),
                                [](const CallEvent& event) { return event.text.contains(kMemoWord); });
         }},
    };
    std::vector<EventsResult> withEvents;
    for (const Table& table : eventTables) {
        printLine(QStringLiteral("With the call events: %1 windows and %2 rounds of %3 views on %4 ...")
                      .arg(windows)
                      .arg(rounds)
                      .arg(eventCases.size())
                      .arg(describe(table)));
        // The desk's own events, as the program gives them to its window; counting the day's
        // calls on their thread as they do at a desk.
        CallEvents events;
        events.open(table.target, me);
        if (!runUntil([&] { return events.status() == CallEvents::Status::Ready; }))
            return failed(QStringLiteral("%1: the call events are not ready").arg(describe(table)));
        SharedState state;
        state.urlSettings.path3 = table.target;
        EventsResult result{
            table, {}, {}, std::vector<Samples>(eventCases.size()), std::vector<Samples>(eventCases.size())};
        for (int i = 0; i < kWarmUps + windows; ++i) {
            const std::optional<Samples::Duration> window = timeFirstPage(state, &events);
            const std::optional<Samples::Duration> floor = timeBarePage(table.target);
            if (!window || !floor)
                return failed(QStringLiteral("%1: no first page with the call events").arg(describe(table)));
            if (i < kWarmUps)
                continue;
            result.window.add(*window);
            result.floor.add(*floor);
        }
        HistoryReader reader(table.target);
        OpenWindow open(state);
        open.window->setCallEvents(&events);
        open.window->show();
        if (!open.nextReset())
            return failed(QStringLiteral("%1: no first page").arg(describe(table)));
        for (int round = 0; round < kWarmUps + rounds; ++round)
            for (std::size_t c = 0; c < eventCases.size(); ++c) {
                const std::optional<Samples::Duration> window = timeEventCase(open, eventCases[c]);
                bool ok = true;
                const auto floor = timed([&] { return reader.page(eventCases[c].filter).has_value(); }, ok);
                if (!window || !ok)
                    return failed(QStringLiteral("%1: %2 did not show").arg(describe(table), eventCases[c].name));
                if (round < kWarmUps)
                    continue;
                result.caseWindow[c].add(*window);
                result.caseFloor[c].add(floor);
            }
        open.window.reset();
        settle();
        withEvents.push_back(std::move(result));
    }

    // The tables.
    const auto addTimes = [](TextTable& table, const QString& where, const QString& what, const Samples& s,
                             const Samples& floor, std::chrono::nanoseconds target, bool isFloor) {
        table.addRow({where, what, milliseconds(s.p50()), milliseconds(s.p99()), milliseconds(s.max()),
                      isFloor ? QString() : ratio(s.p50(), floor.p50()),
                      isFloor ? QString() : verdict(s.p99() <= target)});
    };
    const QStringList timeHeader = {
        QStringLiteral("table"),  QStringLiteral("measured"),  QStringLiteral("p50 ms"),    QStringLiteral("p99 ms"),
        QStringLiteral("max ms"), QStringLiteral("p50/floor"), QStringLiteral("p99 target")};

    TextTable pageTable(timeHeader, 2);
    for (const FirstPageResult& r : firstPages) {
        addTimes(pageTable, describe(r.table), QStringLiteral("window: constructed until first page shown"), r.window,
                 r.floor, kPageTarget, false);
        addTimes(pageTable, QString(), QStringLiteral("floor: new HistoryReader, one page()"), r.floor, r.floor,
                 kPageTarget, true);
    }
    printLine(QString());
    pageTable.print(QStringLiteral("First page of a new window, %1 rows, %2 windows per table (after %3 warm-up); "
                                   "target p99 <= %4 ms")
                        .arg(rows)
                        .arg(windows)
                        .arg(kWarmUps)
                        .arg(milliseconds(kPageTarget)));

    TextTable searchTable(timeHeader, 2);
    for (const SearchResult& r : searches)
        for (std::size_t c = 0; c < cases.size(); ++c) {
            addTimes(searchTable, c == 0 ? describe(r.table) : QString(), cases[c].name, r.window[c], r.floor[c],
                     kSearchTarget, false);
            addTimes(searchTable, QString(), QStringLiteral("  floor: kept reader, one page()"), r.floor[c], r.floor[c],
                     kSearchTarget, true);
        }
    printLine(QString());
    searchTable.print(QStringLiteral("Search in an open window until its first page is shown, %1 rows, %2 rounds "
                                     "(after %3 warm-up), each after going back to all calls; target p99 <= %4 ms")
                          .arg(rows)
                          .arg(rounds)
                          .arg(kWarmUps)
                          .arg(milliseconds(kSearchTarget)));

    TextTable eventTable(timeHeader, 2);
    for (const EventsResult& r : withEvents) {
        addTimes(eventTable, describe(r.table), QStringLiteral("window with the event columns: first page shown"),
                 r.window, r.floor, kPageTarget, false);
        addTimes(eventTable, QString(), QStringLiteral("  floor: new HistoryReader, one page() with events"), r.floor,
                 r.floor, kPageTarget, true);
        for (std::size_t c = 0; c < eventCases.size(); ++c) {
            addTimes(eventTable, QString(), eventCases[c].name, r.caseWindow[c], r.caseFloor[c], kSearchTarget, false);
            addTimes(eventTable, QString(), QStringLiteral("  floor: kept reader, one page()"), r.caseFloor[c],
                     r.caseFloor[c], kSearchTarget, true);
        }
    }
    printLine(QString());
    eventTable.print(QStringLiteral("With the call events (one call in %1 taken, one in %2 with a message, one in %3 "
                                    "called back, one in %4 done; the window's desk %5): first page of a new window "
                                    "(%6 windows) and each view from all calls (%7 rounds), %8 rows; targets p99 <= "
                                    "%9 ms")
                         .arg(kClaimEvery)
                         .arg(kMessageEvery)
                         .arg(kCalledBackEvery)
                         .arg(kDoneEvery)
                         .arg(me)
                         .arg(windows)
                         .arg(rounds)
                         .arg(rows)
                         .arg(milliseconds(kPageTarget)));

    TextTable memoryTable({QStringLiteral("table"), QStringLiteral("RSS at %1 rows KiB").arg(kSmallRows),
                           QStringLiteral("RSS at %1 rows KiB").arg(rows), QStringLiteral("difference KiB"),
                           QStringLiteral("flat")});
    bool memoryFlat = true;
    long long worstGrowth = 0;
    for (const MemoryResult& r : memory) {
        const long long growth = r.largeKiB - r.smallKiB;
        const bool flat = r.smallKiB > 0 && r.largeKiB > 0 && growth <= kMemoryToleranceKiB;
        memoryFlat = memoryFlat && flat;
        worstGrowth = std::max(worstGrowth, growth);
        memoryTable.addRow({describe(Table{r.onServer, r.indexed, 0, {}}), QString::number(r.smallKiB),
                            QString::number(r.largeKiB), QString::number(growth), verdict(flat)});
    }
    printLine(QString());
    memoryTable.print(QStringLiteral("Resident memory with the window open after %1 pages scrolled and each search "
                                     "once (small table first); target: at most %2 KiB more on the large table")
                          .arg(kScrolledPages)
                          .arg(kMemoryToleranceKiB));

    // The summary: the worst p99 per kind, and what missed.
    QStringList missed;
    Samples::Duration worstPage{};
    Samples::Duration worstSearch{};
    for (const FirstPageResult& r : firstPages) {
        worstPage = std::max(worstPage, r.window.p99());
        if (r.window.p99() > kPageTarget)
            missed << QStringLiteral("first page (%1)").arg(describe(r.table));
    }
    for (const SearchResult& r : searches)
        for (std::size_t c = 0; c < cases.size(); ++c) {
            worstSearch = std::max(worstSearch, r.window[c].p99());
            if (r.window[c].p99() > kSearchTarget)
                missed << QStringLiteral("%1 (%2)").arg(cases[c].name, describe(r.table));
        }
    Samples::Duration worstEventView{};
    for (const EventsResult& r : withEvents) {
        if (r.window.p99() > kPageTarget)
            missed << QStringLiteral("first page with the call events (%1)").arg(describe(r.table));
        for (std::size_t c = 0; c < eventCases.size(); ++c) {
            worstEventView = std::max(worstEventView, r.caseWindow[c].p99());
            if (r.caseWindow[c].p99() > kSearchTarget)
                missed << QStringLiteral("%1 (%2)").arg(eventCases[c].name, describe(r.table));
        }
    }
    const auto eventPageOf = [&](bool onServer) {
        for (const EventsResult& r : withEvents)
            if (r.table.onServer == onServer)
                return milliseconds(r.window.p99());
        return QStringLiteral("-");
    };
    const auto pageOf = [&](bool onServer, bool indexed) {
        for (const FirstPageResult& r : firstPages)
            if (r.table.onServer == onServer && r.table.indexed == indexed)
                return milliseconds(r.window.p99());
        return QStringLiteral("-");
    };
    printLine(QString());
    printLine(QStringLiteral("SUMMARY history window: %1 rows: first page p99 SQLite %2/%3 ms, PostgreSQL %4/%5 ms "
                             "(indexes/no index), target %6 ms; worst search p99 %7 ms, target %8 ms; with the call "
                             "events (indexes): first page p99 SQLite %12 ms, PostgreSQL %13 ms, worst of 未対応, "
                             "自分宛ての伝言 and memo search p99 %14 ms; memory %9 KiB more on the large table (%10); "
                             "%11")
                  .arg(rows)
                  .arg(pageOf(false, true), pageOf(false, false), pageOf(true, true), pageOf(true, false),
                       milliseconds(kPageTarget), milliseconds(worstSearch), milliseconds(kSearchTarget))
                  .arg(worstGrowth)
                  .arg(memoryFlat ? QStringLiteral("flat") : QStringLiteral("GROWS"),
                       missed.isEmpty() ? QStringLiteral("all targets met")
                                        : QStringLiteral("MISSED: ") + missed.join(QStringLiteral(", ")))
                  .arg(eventPageOf(false), eventPageOf(true), milliseconds(worstEventView)));
    return 0;
}
