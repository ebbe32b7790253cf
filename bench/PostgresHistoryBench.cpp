// The call history on PostgreSQL: the cost of one append through the real
// DatabaseCallHistory with the table at increasing sizes, for both ways of connecting (one
// connection kept between calls, one opened and closed per call), beside the floor of one
// round trip on an open connection, all measured in the same rounds against a throwaway
// server on a Unix socket of this machine (fsync on, as PostgreSQL ships).

#include "AppendOptions.h"
#include "BenchMessageBoxes.h"
#include "Samples.h"
#include "TextTable.h"
#include "ThrowawayCluster.h"

#include "app/SharedState.h"
#include "history/DatabaseCallHistory.h"
#include "history/PostgresHistoryStore.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;
using Connection = PostgresHistoryStore::Connection;

namespace {

constexpr int kDefaultAppends = 200;
constexpr int kQuickAppends = 30;
constexpr int kWarmUpAppends = 5;
constexpr auto kRowTarget = 10ms;
const QString kDatabase = QStringLiteral("bench");

struct SizeResult
{
    qint64 rows = 0;
    Samples kept;
    Samples perCall;
    Samples roundTrip;
};

// One desk's history: the real DatabaseCallHistory with its own spool directory.
struct Desk
{
    Desk(const QString& uri, Connection way)
        : connection(way)
    {
        state.appDir = dir.path();
        state.systemSettings.appName = QStringLiteral("着信");
        state.urlSettings.history = QStringLiteral("True");
        state.urlSettings.path3 = uri;
    }

    Connection connection;
    QTemporaryDir dir;
    SharedState state;
    BenchMessageBoxes boxes;
    DatabaseCallHistory history{state, boxes, [this](const QString& path) {
                                    return std::make_unique<PostgresHistoryStore>(path, connection);
                                }};
};

qint64 rowCount(ThrowawayCluster& cluster)
{
    QList<QStringList> rows;
    if (!cluster.query(kDatabase, QStringLiteral("SELECT count(*) FROM history"), &rows) || rows.size() != 1)
        return -1;
    return rows[0][0].toLongLong();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);

    const AppendOptions options = AppendOptions::parse(
        app, QStringLiteral("Cost of one call-history append on PostgreSQL, connection kept and per call."),
        {kDefaultAppends, kQuickAppends, {0, 1000000}, {0, 100000}});
    const int appends = options.appends;
    const QList<qint64>& sizes = options.sizes;

    ThrowawayCluster cluster;
    if (!cluster.start() || !cluster.createDatabase(kDatabase) || !createPostgresHistoryTable(cluster.uri(kDatabase))) {
        printLine(QStringLiteral("SUMMARY history postgres: FAILED: no server: ") + cluster.error());
        return 1;
    }
    const QString uri = cluster.uri(kDatabase);
    Desk kept(uri, Connection::Kept);
    Desk perCall(uri, Connection::PerCall);

    // The floor: one round trip on a connection that stays open.
    QSqlDatabase floorDb = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("floor"));
    floorDb.setHostName(cluster.socketDirectory());
    floorDb.setUserName(QString::fromLatin1(ThrowawayCluster::kSuperuser));
    floorDb.setDatabaseName(kDatabase);
    if (!floorDb.open()) {
        printLine(QStringLiteral("SUMMARY history postgres: FAILED: ") + floorDb.lastError().text());
        return 1;
    }
    QSqlQuery ping(floorDb);

    std::vector<SizeResult> results;
    qint64 written = 0;
    qint64 expectedRows = 0;
    bool ok = true;
    for (const qint64 size : sizes) {
        const qint64 present = rowCount(cluster);
        const bool filled =
            present >= 0 &&
            (size <= present ||
             (cluster.query(kDatabase, QStringLiteral("INSERT INTO history (telnum, calldate) SELECT '03' || "
                                                      "lpad(g::text, 8, '0'), timestamp '2024-04-01 09:00:00' "
                                                      "FROM generate_series(1, %1) g")
                                           .arg(size - present)) &&
              cluster.query(kDatabase, QStringLiteral("VACUUM ANALYZE history"))));
        if (!filled) {
            printLine(QStringLiteral("SUMMARY history postgres: FAILED: cannot fill the table: ") + cluster.error());
            return 1;
        }
        expectedRows = std::max(present, size) + 2 * (kWarmUpAppends + appends);
        printLine(QStringLiteral("  table at %1 rows: %2 appends each way ...").arg(size).arg(appends));
        SizeResult result;
        result.rows = size;
        for (int i = 0; i < kWarmUpAppends + appends; ++i) {
            const auto append = [&](Desk& desk) {
                const QString number = QStringLiteral("09%1").arg(written++, 8, 10, QLatin1Char('0'));
                return timed(
                    [&] {
                        const qsizetype shownBefore = desk.boxes.shown.size();
                        desk.history.WriteCallHistory(number, QDateTime::currentDateTime());
                        return desk.boxes.shown.size() == shownBefore;
                    },
                    ok);
            };
            const auto keptTime = append(kept);
            const auto perCallTime = append(perCall);
            const auto floorTime = timed([&] { return ping.exec(QStringLiteral("SELECT 1")) && ping.next(); }, ok);
            if (i < kWarmUpAppends)
                continue;
            result.kept.add(keptTime);
            result.perCall.add(perCallTime);
            result.roundTrip.add(floorTime);
        }
        results.push_back(std::move(result));
    }
    const qint64 finalRows = rowCount(cluster);
    ok = ok && finalRows == expectedRows;

    TextTable table({QStringLiteral("rows"), QStringLiteral("measured"), QStringLiteral("p50 ms"),
                     QStringLiteral("p99 ms"), QStringLiteral("max ms"), QStringLiteral("p50/round trip")},
                    2);
    for (const SizeResult& r : results) {
        const auto row = [&](const QString& rows, const QString& what, const Samples& s) {
            table.addRow({rows, what, milliseconds(s.p50()), milliseconds(s.p99()), milliseconds(s.max()),
                          ratio(s.p50(), r.roundTrip.p50())});
        };
        row(QString::number(r.rows), QStringLiteral("append, connection kept"), r.kept);
        row(QString(), QStringLiteral("append, connection per call"), r.perCall);
        row(QString(), QStringLiteral("floor: one round trip (SELECT 1)"), r.roundTrip);
    }
    printLine(QString());
    table.print(QStringLiteral("PostgreSQL history append, %1 appends per size and way (after %2 warm-up), "
                               "server on a Unix socket")
                    .arg(appends)
                    .arg(kWarmUpAppends));

    const SizeResult& first = results.front();
    const SizeResult& last = results.back();
    const auto verdict = [&](const Samples& s) {
        return ok && s.p99() <= kRowTarget ? QStringLiteral("met") : QStringLiteral("MISSED");
    };
    printLine(QString());
    printLine(QStringLiteral("SUMMARY history postgres: append p99 at %1 rows: kept connection %2 ms (%3), "
                             "connection per call %4 ms (%5), target %6 ms; kept p99 %7 ms at %8 rows (%9)%10")
                  .arg(last.rows)
                  .arg(milliseconds(last.kept.p99()), verdict(last.kept), milliseconds(last.perCall.p99()),
                       verdict(last.perCall), milliseconds(kRowTarget), milliseconds(first.kept.p99()))
                  .arg(first.rows)
                  .arg(ratio(last.kept.p99(), first.kept.p99()) + QStringLiteral(" of that"),
                       ok ? QString()
                          : QStringLiteral("; FAILED: %1 rows of %2, %3 messages")
                                .arg(finalRows)
                                .arg(expectedRows)
                                .arg(kept.boxes.shown.size() + perCall.boxes.shown.size())));
    ping.clear();
    floorDb.close();
    return ok ? 0 : 1;
}
