#include "history/CallEventStore.h"
#include "history/DatabaseCallHistory.h"
#include "history/HistoryCsv.h"
#include "history/HistoryReader.h"
#include "history/SqliteHistoryStore.h"
#include "support/CsvReader.h"
#include "support/HistoryRows.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/StandardErrorCapture.h"
#include "support/TempAppDir.h"
#include "support/TraceCapture.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace std::chrono_literals;

namespace {

const QString kUnusable = "Accessデータベースが使用できません。";
const QString kAppName = "着信テスト";

// clang-format off
struct Row { QVariant telnum; QVariant calldate; QString telnumType; QString calldateType; QVariant parsedDate; };
// clang-format on

// Runs `work` on a separate, plainly opened connection, as another program would.
void withReader(const QString& path, const std::function<void(QSqlDatabase&)>& work)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void executeSql(const QString& path, const QString& statement)
{
    withReader(path, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
    });
}

std::vector<Row> readRows(const QString& path)
{
    std::vector<Row> rows;
    withReader(path, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("SELECT telnum, calldate, typeof(telnum), typeof(calldate), "
                                              "datetime(calldate) FROM history ORDER BY rowid")))
            << query.lastError().text().toStdString();
        while (query.next())
            rows.push_back(
                {query.value(0), query.value(1), query.value(2).toString(), query.value(3).toString(), query.value(4)});
    });
    return rows;
}

int countRows(const QString& path)
{
    int count = -1;
    withReader(path, [&](QSqlDatabase& db) {
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec("SELECT count(*) FROM history"));
        ASSERT_TRUE(query.next());
        count = query.value(0).toInt();
    });
    return count;
}

// When a call whose row only has to exist took place.
const QDateTime kCallTime(QDate(2026, 12, 7), QTime(10, 15, 30));

class CallHistoryTest : public ::testing::Test
{
protected:
    CallHistoryTest()
    {
        state.systemSettings.appName = kAppName;
        state.urlSettings.path3 = dbPath;
    }

    // The message, and below it the database's own reason, never empty.
    void expectOneUnusableMessage() const
    {
        ASSERT_EQ(boxes.shown.size(), 1u);
        const auto& box = boxes.shown[0];
        EXPECT_EQ((std::tuple{box.text.section(u'\n', 0, 0), box.title, box.icon, box.buttons}),
                  std::tuple(kUnusable, kAppName, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok));
        EXPECT_FALSE(box.text.section(u'\n', 1).trimmed().isEmpty()) << qPrintable(box.text);
    }

    // The calls written to a new history database without a message; the rows in the file then.
    std::vector<Row> written(std::initializer_list<std::pair<QString, QDateTime>> calls)
    {
        EXPECT_TRUE(createHistoryDatabase(dbPath));
        DatabaseCallHistory history(state, boxes);
        for (const auto& [number, calldate] : calls)
            history.WriteCallHistory(number, calldate);
        EXPECT_TRUE(boxes.shown.empty());
        return readRows(dbPath);
    }

    TempAppDir dir;
    QString dbPath = dir.filePath("cti.db");
    SharedState state = dir.makeState();
    ScriptedMessageBoxes boxes;
};

} // namespace

// Two calls in quick succession: two rows in order, each with its own call's time as text SQLite's date functions read.
TEST_F(CallHistoryTest, TwoCallsGiveTwoRowsInOrder)
{
    const std::vector<Row> rows = written({{"0312345678", QDateTime(QDate(2026, 12, 7), QTime(9, 36, 5))},
                                           {"09011112222", QDateTime(QDate(2026, 12, 7), QTime(9, 42, 0))}});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ((std::tuple{rows[0].telnum.toString(), rows[1].telnum.toString(), rows[0].calldate.toString(),
                          rows[1].calldate.toString()}),
              std::tuple(QString("0312345678"), QString("09011112222"), QString("2026-12-07 09:36:05"),
                         QString("2026-12-07 09:42:00")));
    for (const Row& row : rows)
        EXPECT_EQ((std::tuple{row.telnumType, row.calldateType, row.parsedDate.toString()}),
                  std::tuple(QString("text"), QString("text"), row.calldate.toString()))
            << "SQLite's datetime() must read the stored form";
}

// Any unusable database: one message, no row or file, stderr and trace say why; the row waits unless the table refuses.
TEST_F(CallHistoryTest, UnusableDatabaseShowsTheMessageOnceAndWritesNothing)
{
    const char* const notADatabase = "4096 bytes of x";
    // clang-format off
    struct Case { const char* name; const char* schema; const char* number; bool hasHistoryTable; bool waits = true; };
    const std::vector<Case> cases = {
        {"missing file", nullptr, "0312345678", false},
        {"missing table", "CREATE TABLE calls (telnum TEXT, calldate TEXT)", "0312345678", false},
        {"missing column", "CREATE TABLE history (telnum TEXT)", "0312345678", true},
        {"number refused by a CHECK", "CREATE TABLE history (telnum TEXT CHECK (length(telnum) <= 4), calldate TEXT)", "0312345678", true, false},
        {"empty number refused by a CHECK", "CREATE TABLE history (telnum TEXT CHECK (telnum <> ''), calldate TEXT)", "", true, false},
        {"further column without a default refuses the row", "CREATE TABLE history (telnum TEXT, calldate TEXT, who TEXT NOT NULL)", "0312345678", true, false},
        {"not a database", notADatabase, "0312345678", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempAppDir caseDir;
        const QString path = caseDir.filePath("cti.db");
        if (c.schema == notADatabase) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        } else if (c.schema) {
            executeSql(path, QString::fromUtf8(c.schema));
        }
        const bool existed = QFile::exists(path);
        state.urlSettings.path3 = path;
        state.appDir = caseDir.path();
        boxes.shown.clear();
        state.systemSettings.debugmode = "True";
        StandardErrorCapture err;
        TraceCapture trace;

        DatabaseCallHistory(state, boxes).WriteCallHistory(QString::fromUtf8(c.number), kCallTime);

        expectOneUnusableMessage();
        const QRegularExpression named(
            QStringLiteral("history not written to \"%1\": \\S").arg(QRegularExpression::escape(path)));
        EXPECT_TRUE(named.match(err.text()).hasMatch()) << qPrintable(err.text());
        EXPECT_EQ(trace.lines.filter(named).size(), 1) << qPrintable(trace.lines.join(u'\n'));
        EXPECT_EQ((std::tuple{QFile::exists(path), c.hasHistoryTable ? countRows(path) : 0,
                              DatabaseCallHistory(state, boxes).spooledRows()}),
                  std::tuple(existed, 0, c.waits ? 1 : 0));
    }
}

// A file locked elsewhere fails after the busy timeout, not blocking the UI; the next call writes both rows.
TEST_F(CallHistoryTest, LockedFileFailsAndNextCallWrites)
{
    ASSERT_TRUE(createHistoryDatabase(dbPath));
    DatabaseCallHistory history(state, boxes, [](const QString& path) {
        return std::make_unique<SqliteHistoryStore>(path, std::chrono::milliseconds(100));
    });
    withReader(dbPath, [&](QSqlDatabase& db) {
        QSqlQuery lock(db);
        ASSERT_TRUE(lock.exec("BEGIN EXCLUSIVE"));
        history.WriteCallHistory("0312345678", kCallTime);
        ASSERT_TRUE(lock.exec("COMMIT"));
    });
    expectOneUnusableMessage();
    EXPECT_EQ(countRows(dbPath), 0);

    history.WriteCallHistory("0312345678", kCallTime);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(countRows(dbPath), 2);
}

// A file the program may not write is the same failure as a missing one.
TEST_F(CallHistoryTest, ReadOnlyFileFails)
{
    ASSERT_TRUE(createHistoryDatabase(dbPath));
    ASSERT_TRUE(QFile::setPermissions(dbPath, QFile::ReadOwner | QFile::ReadUser));
    if (QFileInfo(dbPath).isWritable())
        GTEST_SKIP() << "running with privileges that ignore file permissions";
    DatabaseCallHistory(state, boxes).WriteCallHistory("0312345678", kCallTime);
    expectOneUnusableMessage();
    EXPECT_EQ(countRows(dbPath), 0);
}

// No database configured: the message, and no file appears in the working directory.
TEST_F(CallHistoryTest, EmptyPathFails)
{
    state.urlSettings.path3.clear();
    const QStringList before = QDir::current().entryList(QDir::AllEntries | QDir::Hidden);
    DatabaseCallHistory(state, boxes).WriteCallHistory("0312345678", kCallTime);
    expectOneUnusableMessage();
    EXPECT_EQ(QDir::current().entryList(QDir::AllEntries | QDir::Hidden), before);
}

// An empty number (null or empty QString) is a row with empty text, never NULL.
TEST_F(CallHistoryTest, EmptyNumberIsEmptyText)
{
    const std::vector<Row> rows = written({{QString(), kCallTime}, {"", kCallTime}});
    ASSERT_EQ(rows.size(), 2u);
    for (const Row& row : rows) {
        EXPECT_EQ(row.telnumType, "text");
        EXPECT_EQ(row.telnum.toString(), QString());
    }
}

// Whatever the adapter sends is data: quotes, semicolons and shell syntax stored as they came, leading zeros kept.
TEST_F(CallHistoryTest, NumberIsStoredVerbatim)
{
    const QString hostile = "0'3\"; DROP TABLE history; --$(touch x)`id` \\ 着信";
    const std::vector<Row> rows = written({{hostile, kCallTime}, {"000123", kCallTime}});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ((std::tuple{rows[0].telnum.toString(), rows[1].telnum.toString(), rows[1].telnumType}),
              std::tuple(hostile, QString("000123"), QString("text")));
}

// The name the phone book gave is kept with its row (NULL for none), read back and searched; a table made before the
// column takes the rows all the same, its names read as none. A name typed in the book finds its calls by number.
TEST_F(CallHistoryTest, NameKeptWhereTheTableHasTheColumn)
{
    for (const bool withColumn : {true, false}) {
        SCOPED_TRACE(withColumn);
        QFile::remove(dbPath);
        ASSERT_TRUE(withColumn ? createHistoryDatabase(dbPath)
                               : runSql(dbPath, "CREATE TABLE history (id INTEGER PRIMARY KEY, telnum TEXT NOT NULL, "
                                                "calldate TEXT NOT NULL)")
                                     .has_value());
        {
            DatabaseCallHistory history(state, boxes);
            history.setNameOf([](const QString& number) { return number == "0312345678" ? "山田 '太郎'" : QString(); });
            history.WriteCallHistory("0312345678", kCallTime);
            history.WriteCallHistory("0399999999", kCallTime.addSecs(1));
        }
        EXPECT_TRUE(boxes.shown.empty());
        HistoryReader reader(dbPath);
        const auto found = [&](const QString& fragment, const QStringList& callerNumbers = {}) {
            HistoryFilter filter;
            filter.fragment = fragment;
            filter.callerNumbers = callerNumbers;
            QStringList rows;
            const std::optional<HistoryPage> page = reader.page(filter, nullptr, 10);
            for (const HistoryEntry& row : page.value().rows)
                rows << row.number + u':' + (row.name.isNull() ? QStringLiteral("NULL") : row.name);
            return rows;
        };
        const QString yamada = withColumn ? "0312345678:山田 '太郎'" : "0312345678:NULL";
        EXPECT_EQ(found(""), QStringList({"0399999999:NULL", yamada}));
        EXPECT_EQ(found("太郎"), withColumn ? QStringList{yamada} : QStringList{});
        EXPECT_EQ(found("すずき", {"0399999999"}), QStringList{"0399999999:NULL"});
    }
}

// File and folder names with characters that mean something in a URI reach exactly that file, and no stray file.
TEST_F(CallHistoryTest, OddPathCharactersNameTheRightFile)
{
    const QStringList names = {"with space.db", "q?mode=ro.db",        "hash#frag.db",       "pct%41%2F.db",
                               "着信履歴.mdb",  "semi;colon'quote.db", "sub dir?#%/inner.db"};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        TempAppDir caseDir;
        TempAppDir spoolDir; // each case's missing file leaves its row waiting in a spool of its own
        state.appDir = spoolDir.path();
        const QString path = caseDir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        ASSERT_TRUE(createHistoryDatabase(path));
        state.urlSettings.path3 = path;
        boxes.shown.clear();
        DatabaseCallHistory(state, boxes).WriteCallHistory("0312345678", kCallTime);
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_EQ(readRows(path).size(), 1u);
        const QDir folder = QFileInfo(path).absoluteDir();
        EXPECT_EQ(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{QFileInfo(path).fileName()});

        // The same odd name, missing: still not created.
        state.urlSettings.path3 = path + "-gone";
        DatabaseCallHistory(state, boxes).WriteCallHistory("0312345678", kCallTime);
        EXPECT_EQ(boxes.shown.size(), 1u);
        EXPECT_FALSE(QFile::exists(state.urlSettings.path3));
    }
}

// The creation function refuses to replace an existing file or to create a folder.
TEST_F(CallHistoryTest, CreateRefusesExistingFileAndMissingFolder)
{
    QFile existing(dbPath);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("keep me");
    existing.close();
    QString error;
    EXPECT_FALSE(createHistoryDatabase(dbPath, &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("keep me"));

    const QString inMissingFolder = dir.filePath("mdb/cti.mdb");
    EXPECT_FALSE(createHistoryDatabase(inMissingFolder));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("mdb")));
    EXPECT_FALSE(createHistoryDatabase(QString()));
}

// Each row comes with its call's events in order; 未対応, a person's open messages (one closed by 折り返し済み is not)
// and a memo's text or a person's name narrow the rows, the export ends with state, claimer and memo. Without the
// events table the same reads find every call untouched and no message.
TEST_F(CallHistoryTest, EventsFoldedIntoTheRows)
{
    written({{"0311", kCallTime}, {"0322", kCallTime.addSecs(60)}, {"0333", kCallTime.addSecs(120)}});
    CallEventStore store(dbPath);
    using K = CallEvent::Kind;
    for (const CallEvent& event : std::vector<CallEvent>{
             {.callId = 1, .kind = K::Claim, .person = "佐藤"},
             {.callId = 1, .kind = K::Message, .person = "佐藤", .to = "田中", .text = "見積の件", .callBack = true},
             {.callId = 2, .kind = K::Message, .person = "鈴木", .to = "田中", .text = "請求書"},
             {.callId = 2, .kind = K::CalledBack, .person = "田中"}})
        ASSERT_TRUE(store.add(event).has_value()) << store.lastError().toStdString();
    store.disconnect();
    HistoryReader reader(dbPath);
    const auto found = [&](const HistoryFilter& filter) {
        QStringList rows;
        // A reader's first read: it knows the tables only once connected.
        const std::optional<HistoryPage> page = HistoryReader(dbPath).page(filter);
        for (const HistoryEntry& row : page.value().rows) {
            const CallProgress progress = progressOf(row.events);
            rows << QStringList{row.number, stateText(progress.state), progress.claimer, progress.memo}.join(u'|');
        }
        return rows;
    };
    const QString open3 = "0333|未対応||", done2 = "0322|完了||田中さんへ: 請求書",
                  waits1 = "0311|折り返し待ち|佐藤|田中さんへ: 見積の件";
    const QStringList untouched{open3, "0322|未対応||", "0311|未対応||"};
    // clang-format off
    const struct { HistoryFilter filter; QStringList withEvents, without; } cases[] = {
        {{}, {open3, done2, waits1}, untouched},
        {{.openOnly = true}, {open3}, untouched},
        {{.messagesFor = "田中"}, {waits1}, {}},
        {{.messagesFor = "佐藤"}, {}, {}},
        {{.fragment = "請求"}, {done2}, {}},
        {{.fragment = "佐藤"}, {waits1}, {}},
        {{.fragment = "田中"}, {done2, waits1}, {}},
        {{.fragment = "33"}, {open3}, {"0333|未対応||"}},
        {{.fragment = "03", .to = QDate(2026, 12, 7), .messagesFor = "田中"}, {waits1}, {}},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(found(c.filter), c.withEvents) << c.filter.fragment.toStdString();

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    ASSERT_TRUE(exportHistory(reader, {}, csv, [](const QString& number) { return number; }).ok);
    const auto table = readCsv(QString::fromUtf8(csv.data().mid(3)));
    ASSERT_TRUE(table.has_value());
    QStringList ends;
    for (const QStringList& line : *table)
        ends << line.mid(5).join(u'|');
    EXPECT_EQ(ends, QStringList({"状態|担当|メモ", "未対応||", "完了||田中さんへ: 請求書",
                                 "折り返し待ち|佐藤|田中さんへ: 見積の件"}));

    ASSERT_TRUE(runSql(dbPath, "DROP TABLE call_events").has_value());
    for (const auto& c : cases)
        EXPECT_EQ(found(c.filter), c.without) << c.filter.fragment.toStdString();
}
