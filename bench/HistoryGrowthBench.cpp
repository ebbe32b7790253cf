// History growth: the cost of one call's history through the real DatabaseCallHistory with
// the table at increasing sizes: the journal entry queued when the line is read, then the
// row waited for (the entry durable in the journal on its thread, then the insert, its note
// and the commit on the writer's thread), beside two floors measured in the same rounds: a
// bare fsync of a small file in the same directory and an open and close of the same
// database without an insert.

#include "AppendOptions.h"
#include "BenchMessageBoxes.h"
#include "Samples.h"
#include "TextTable.h"

#include "app/SharedState.h"
#include "history/DatabaseCallHistory.h"
#include "history/SqliteHistoryStore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr int kDefaultAppends = 200;
constexpr int kQuickAppends = 30;
constexpr int kWarmUpAppends = 5;
constexpr auto kRowTarget = 10ms;
const QList<qint64> kDefaultSizes = {0, 100000, 1000000};
const QList<qint64> kQuickSizes = {0, 10000, 100000};

// Runs `work` on a connection of its own, as another program would open the file.
bool withConnection(const QString& path, const QString& options, QString& error,
                    const std::function<bool(QSqlDatabase&)>& work)
{
    static int connections = 0;
    const QString name = QStringLiteral("bench-%1").arg(++connections);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(options);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            ok = work(db);
            if (!ok && error.isEmpty())
                error = db.lastError().text();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

qint64 rowCount(const QString& path, QString& error)
{
    qint64 count = -1;
    withConnection(path, QString(), error, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT count(*) FROM history")) || !query.next()) {
            error = query.lastError().text();
            return false;
        }
        count = query.value(0).toLongLong();
        return true;
    });
    return count;
}

// Adds `rows` rows in one transaction, generated inside SQLite.
bool prefill(const QString& path, qint64 rows, QString& error)
{
    if (rows <= 0)
        return true;
    return withConnection(path, QString(), error, [&](QSqlDatabase& db) {
        if (!db.transaction())
            return false;
        QSqlQuery fill(db);
        fill.prepare(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < ?) "
                                    "INSERT INTO history (telnum, calldate) "
                                    "SELECT printf('03%08d', x), '2024-04-01 09:00:00' FROM n"));
        fill.addBindValue(rows);
        if (!fill.exec()) {
            error = fill.lastError().text();
            db.rollback();
            return false;
        }
        return db.commit();
    });
}

// The least a durable append can cost on this disk: rewrite a small file and fsync it.
bool fsyncSmallFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0600);
    if (fd < 0)
        return false;
    static const char kBytes[64] = "0312345678,2024-04-01 09:00:00";
    const bool ok = ::pwrite(fd, kBytes, sizeof kBytes, 0) == ssize_t(sizeof kBytes) && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Opening and closing the same file the way the store does, without an insert.
bool openAndClose(const QString& path)
{
    QString error;
    return withConnection(QStringLiteral("file://") + QFileInfo(path).absoluteFilePath() + QStringLiteral("?mode=rw"),
                          QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"), error,
                          [](QSqlDatabase&) { return true; });
}

struct SizeResult
{
    qint64 rows = 0;
    qint64 fileBytes = 0;
    Samples journal;
    Samples append;
    Samples call;
    Samples fsyncFloor;
    Samples openFloor;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);

    const AppendOptions options =
        AppendOptions::parse(app, QStringLiteral("Cost of one call-history append as the table grows."),
                             {kDefaultAppends, kQuickAppends, kDefaultSizes, kQuickSizes});
    const int appends = options.appends;
    const QList<qint64>& sizes = options.sizes;

    QTemporaryDir dir;
    const QString database = dir.filePath(QStringLiteral("cti.db"));
    const QString syncFile = dir.filePath(QStringLiteral("fsync-floor"));
    QString error;
    if (!dir.isValid() || !createHistoryDatabase(database, &error)) {
        printLine(QStringLiteral("SUMMARY history growth: FAILED: cannot create the database: ") + error);
        return 1;
    }
    SharedState state;
    state.appDir = dir.path();
    state.systemSettings.appName = QStringLiteral("着信");
    state.urlSettings.history = QStringLiteral("True");
    state.urlSettings.path3 = database;
    BenchMessageBoxes boxes;
    DatabaseCallHistory history(state, boxes);

    std::vector<SizeResult> results;
    qint64 written = 0;
    qint64 expectedRows = 0;
    bool ok = true;
    for (const qint64 size : sizes) {
        const qint64 present = rowCount(database, error);
        if (present < 0 || !prefill(database, size - present, error)) {
            printLine(QStringLiteral("SUMMARY history growth: FAILED: cannot fill the table: ") + error);
            return 1;
        }
        expectedRows = std::max(present, size) + kWarmUpAppends + appends;
        printLine(QStringLiteral("  table at %1 rows: %2 appends ...").arg(size).arg(appends));
        SizeResult result;
        result.rows = size;
        result.fileBytes = QFileInfo(database).size();
        for (int i = 0; i < kWarmUpAppends + appends; ++i) {
            const QString number = QStringLiteral("09%1").arg(written++, 8, 10, QLatin1Char('0'));
            const qsizetype shownBefore = boxes.shown.size();
            const QDateTime calldate = QDateTime::currentDateTime();
            qint64 key = 0;
            const auto journal = timed(
                [&] {
                    key = history.journal(number, calldate);
                    return history.spooledRows() == 1;
                },
                ok);
            const auto append = timed(
                [&] {
                    history.WriteCallHistory(number, Arrival(calldate, key));
                    return boxes.shown.size() == shownBefore && history.spooledRows() == 0;
                },
                ok);
            const auto sync = timed([&] { return fsyncSmallFile(syncFile); }, ok);
            const auto open = timed([&] { return openAndClose(database); }, ok);
            if (i < kWarmUpAppends)
                continue;
            result.journal.add(journal);
            result.append.add(append);
            result.call.add(journal + append);
            result.fsyncFloor.add(sync);
            result.openFloor.add(open);
        }
        results.push_back(std::move(result));
    }
    const qint64 finalRows = rowCount(database, error);
    ok = ok && finalRows == expectedRows && boxes.shown.isEmpty();

    TextTable table({QStringLiteral("rows"), QStringLiteral("file MiB"), QStringLiteral("measured"),
                     QStringLiteral("p50 ms"), QStringLiteral("p99 ms"), QStringLiteral("max ms"),
                     QStringLiteral("p50/fsync")},
                    3);
    for (const SizeResult& r : results) {
        const auto row = [&](const QString& rows, const QString& size, const QString& what, const Samples& s) {
            table.addRow({rows, size, what, milliseconds(s.p50()), milliseconds(s.p99()), milliseconds(s.max()),
                          ratio(s.p50(), r.fsyncFloor.p50())});
        };
        row(QString::number(r.rows), QString::number(double(r.fileBytes) / (1024.0 * 1024.0), 'f', 1),
            QStringLiteral("call: journal and row"), r.call);
        row(QString(), QString(), QStringLiteral("journal entry queued when the line is read"), r.journal);
        row(QString(), QString(), QStringLiteral("row (insert, entry out, commit)"), r.append);
        row(QString(), QString(), QStringLiteral("floor: fsync of a small file"), r.fsyncFloor);
        row(QString(), QString(), QStringLiteral("floor: open and close, no insert"), r.openFloor);
    }
    printLine(QString());
    table.print(QStringLiteral("History append, %1 appends per table size (after %2 warm-up), in %3")
                    .arg(appends)
                    .arg(kWarmUpAppends)
                    .arg(dir.path()));

    const SizeResult& first = results.front();
    const SizeResult& last = results.back();
    const bool met = ok && last.call.p99() <= kRowTarget;
    printLine(QString());
    printLine(QStringLiteral("SUMMARY history growth: call p99 %1 ms at %2 rows (target %3 ms: %4), p50 %5 ms at "
                             "%6 rows -> %7 ms at %2 rows (%8), journal p50 %11 ms, fsync floor p50 %9 ms%10")
                  .arg(milliseconds(last.call.p99()))
                  .arg(last.rows)
                  .arg(milliseconds(kRowTarget), met ? QStringLiteral("met") : QStringLiteral("MISSED"),
                       milliseconds(first.call.p50()))
                  .arg(first.rows)
                  .arg(milliseconds(last.call.p50()), ratio(last.call.p50(), first.call.p50()),
                       milliseconds(last.fsyncFloor.p50()),
                       ok ? QString()
                          : QStringLiteral("; FAILED: %1 rows of %2, %3 messages")
                                .arg(finalRows)
                                .arg(expectedRows)
                                .arg(boxes.shown.size()))
                  .arg(milliseconds(last.journal.p50())));
    return ok ? 0 : 1;
}
