// The real program asked the usual questions of a command-line user, without any display.

#include "app/Settings.h"
#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookFile.h"

#include "support/CsvReader.h"
#include "support/QStringPrinter.h"
#include "support/TempAppDir.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <tuple>

namespace {

// The program run without any display: exit status, standard output and standard error.
std::tuple<int, QString, QString> runWithoutDisplay(const QStringList& arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(CHAKUSHIN_EXECUTABLE), arguments);
    program.waitForFinished(10000);
    return std::tuple{program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                      QString::fromUtf8(program.readAllStandardOutput()),
                      QString::fromUtf8(program.readAllStandardError())};
}

} // namespace

// --help and --version answer on standard output; a start that needs a window says in one
// line why it cannot, and a wrong option gets the usage on standard error.
TEST(ProgramCommandLine, AnswersWithoutADisplay)
{
    const auto run = runWithoutDisplay;
    const auto [helpExit, help, helpErr] = run({"--help"});
    EXPECT_EQ(helpExit, 0);
    EXPECT_EQ(helpErr, QString());
    for (const char* option :
         {"--app-dir", "--history", "--phonebook", "--create-history-db", "--export-history", "--import-phonebook",
          "--export-phonebook", "--follow", "--autostart", "--help", "--version"}) {
        const QRegularExpression line(QStringLiteral("^  %1 .*\\S$").arg(option), QRegularExpression::MultilineOption);
        EXPECT_TRUE(line.match(help).hasMatch()) << option << " has no line in\n" << qPrintable(help);
    }

    const QString noDesktop = QStringLiteral("chakushin: needs a desktop session");
    const QString wrong = QStringLiteral("chakushin: unknown or incomplete option: ");
    // clang-format off
    const struct { QStringList arguments; int exitCode; QString out, errStart; qsizetype errLines; } rows[] = {
        {{"--version"}, 0, "chakushin " CHAKUSHIN_VERSION "\n", {}, 0},
        {{}, 1, "", noDesktop, 1},
        {{"--app-dir", "/nonexistent/desk"}, 1, "", noDesktop, 1},
        {{"--bogus"}, 2, "", wrong + "--bogus\n" + help, help.count(u'\n') + 1},
        {{"--help", "--autostart", "maybe"}, 2, "", wrong + "--autostart\n" + help, help.count(u'\n') + 1},
        {{"--history"}, 1, "", noDesktop, 1},
        {{"--phonebook"}, 1, "", noDesktop, 1},
        {{"--import-phonebook"}, 2, "", wrong + "--import-phonebook\n" + help, help.count(u'\n') + 1},
        {{"--export-phonebook"}, 2, "", wrong + "--export-phonebook\n" + help, help.count(u'\n') + 1},
        {{"--export-history", "-", "--from", "2026-02-30"}, 2, "", "chakushin: --from needs a day", help.count(u'\n') + 1},
        {{"--to", "2026-12-01"}, 2, "", "chakushin: --from and --to go with --export-history", help.count(u'\n') + 1},
    };
    // clang-format on
    for (const auto& row : rows) {
        const auto [exitCode, out, err] = run(row.arguments);
        SCOPED_TRACE(qPrintable(row.arguments.join(u' ') + u'\n' + err));
        EXPECT_EQ(exitCode, row.exitCode);
        EXPECT_EQ(out, row.out);
        EXPECT_TRUE(err.startsWith(row.errStart));
        EXPECT_EQ(err.count(u'\n'), row.errLines);
    }
}

// --export-history writes the history's calls as CSV (UTF-8 with a byte-order mark, which
// reading it as UTF-8 drops), all or of some days, to a file or to standard output, without
// a display; without a history it says so.
TEST(ProgramCommandLine, ExportsTheHistoryWithoutADisplay)
{
    TempAppDir dir;
    dir.copyShippedSettings();
    const QStringList appDir{"--app-dir", dir.path()};
    const auto [unsetExit, unsetOut, unsetErr] = runWithoutDisplay(appDir + QStringList{"--export-history", "-"});
    EXPECT_EQ(unsetExit, 1);
    EXPECT_TRUE(unsetErr.startsWith("chakushin: no history database is set")) << unsetErr.toStdString();

    const QString path = dir.filePath("calls.db");
    ASSERT_TRUE(createHistoryDatabase(path));
    WriteIni(dir.makeState(), "URL", "path3", path);
    SqliteHistoryStore store(path);
    for (const auto& [number, at] : {std::pair{"0311110000", "2026-11-30 23:59:59"},
                                     {"0322220000", "2026-12-01 00:00:00"},
                                     {"0311110000", "2026-12-02 12:00:00"},
                                     {"0333330000", "2026-12-03 00:00:00"}}) {
        HistoryRow row{number, QDateTime::fromString(at, "yyyy-MM-dd HH:mm:ss")};
        row.name = number == QLatin1String("0311110000") ? "山田" : QString();
        ASSERT_EQ(store.append(row), HistoryStore::Outcome::Written);
    }

    const auto [exitCode, out, err] =
        runWithoutDisplay(appDir + QStringList{"--export-history", "-", "--from", "2026-12-01", "--to", "2026-12-02"});
    EXPECT_EQ(exitCode, 0) << err.toStdString();
    EXPECT_EQ(err, "");
    EXPECT_EQ(readCsv(out), (std::vector<QStringList>{
                                {"日時", "電話番号", "電話番号（表記）", "着信回数", "名前", "状態", "担当", "メモ"},
                                {"2026-12-02 12:00:00", "0311110000", "03-1111-0000", "2", "山田", "未対応", "", ""},
                                {"2026-12-01 00:00:00", "0322220000", "03-2222-0000", "1", "", "未対応", "", ""}}));

    const QString file = dir.filePath("all.csv");
    const auto [fileExit, fileOut, fileErr] = runWithoutDisplay(appDir + QStringList{"--export-history", file});
    EXPECT_EQ(fileExit, 0) << fileErr.toStdString();
    EXPECT_EQ(fileOut, "Exported 4 calls to " + file + "\n");
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(readCsv(QString::fromUtf8(bytes))->size(), 5);
}

// --import-phonebook adds a file's entries to the history's phone book and reports what it did, a line it
// cannot read included; --export-phonebook writes them back by reading, as CSV or vCard. A history without a
// phone book, or a file that cannot be read, is said and fails.
TEST(ProgramCommandLine, ImportsAndExportsThePhoneBookWithoutADisplay)
{
    TempAppDir dir;
    dir.copyShippedSettings();
    const QStringList appDir{"--app-dir", dir.path()};
    const QString book = dir.filePath("book.csv");
    QFile csv(book);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(
        "名前,よみ,電話番号\n山田太郎,やまだたろう,03-1111-0000\n佐藤,,なし\n安藤花子,あんどうはなこ,0322220000\n");
    csv.close();

    const QString older = dir.filePath("older.db");
    ASSERT_TRUE(createHistoryDatabase(older));
    WriteIni(dir.makeState(), "URL", "path3", older);
    const auto [oldExit, oldOut, oldErr] = runWithoutDisplay(appDir + QStringList{"--import-phonebook", book});
    EXPECT_EQ(oldExit, 1);
    EXPECT_TRUE(oldErr.contains("has no phone book")) << oldErr.toStdString();

    const QString path = dir.filePath("calls.db");
    ASSERT_TRUE(createHistoryDatabase(path, nullptr, PhoneBookDatabase::createStatements(false)));
    WriteIni(dir.makeState(), "URL", "path3", path);
    const auto [absentExit, absentOut, absentErr] =
        runWithoutDisplay(appDir + QStringList{"--import-phonebook", dir.filePath("absent.csv")});
    EXPECT_EQ(absentExit, 1);
    EXPECT_TRUE(absentErr.startsWith("chakushin: cannot read ")) << absentErr.toStdString();

    const auto [exitCode, out, err] = runWithoutDisplay(appDir + QStringList{"--import-phonebook", book});
    EXPECT_EQ(exitCode, 0) << err.toStdString();
    EXPECT_EQ(out, "追加 2件、統合 0件、スキップ 1件\n3行目: 電話番号に数字がありません\n");

    const auto [csvExit, csvOut, csvErr] = runWithoutDisplay(appDir + QStringList{"--export-phonebook", "-"});
    EXPECT_EQ(csvExit, 0) << csvErr.toStdString();
    EXPECT_EQ(readCsv(csvOut), (std::vector<QStringList>{{"名前", "よみ", "会社・部署", "電話番号", "メモ", "迷惑"},
                                                         {"安藤花子", "あんどうはなこ", "", "0322220000", "", ""},
                                                         {"山田太郎", "やまだたろう", "", "03-1111-0000", "", ""}}));

    const QString cards = dir.filePath("book.vcf");
    const auto [vcfExit, vcfOut, vcfErr] = runWithoutDisplay(appDir + QStringList{"--export-phonebook", cards});
    EXPECT_EQ(vcfOut, "Exported 2 entries to " + cards + "\n");
    QFile written(cards);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_TRUE(bytes.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    const PhoneBookFile read = readPhoneBookFile(bytes);
    ASSERT_EQ(read.entries.size(), 2U);
    EXPECT_EQ(read.entries[1].entry.name, "山田太郎");
    EXPECT_EQ(read.entries[1].entry.numbers, QStringList{"03-1111-0000"});
}

// --follow sets following without a display: a URI is kept when following is turned off, a server out of reach is
// said but the setting stays, and anything but a postgresql:// URI or off is a usage error that changes nothing.
TEST(ProgramCommandLine, FollowsWithoutADisplay)
{
    TempAppDir dir;
    dir.copyShippedSettings();
    const QString away = QStringLiteral("postgresql://reader@/office?host=%1").arg(dir.filePath("no-server"));
    const auto follow = [&](const QString& value) {
        return runWithoutDisplay({"--app-dir", dir.path(), "--follow", value});
    };
    const auto setting = [&](const char* key) {
        return ReadIni(dir.makeState(), "FOLLOW", key);
    };

    const auto [onExit, onOut, onErr] = follow(away);
    EXPECT_EQ(onExit, 0);
    EXPECT_TRUE(onOut.startsWith("This desk follows the office's calls at ")) << onOut.toStdString();
    EXPECT_TRUE(onErr.contains("cannot reach it now")) << onErr.toStdString();
    EXPECT_EQ(std::pair(setting("enabled"), setting("uri")), std::pair(QString("True"), away));

    for (const char* wrong : {"/var/lib/office.db", "postgresql://[::1/office"})
        EXPECT_EQ(std::get<0>(follow(wrong)), 2) << wrong;
    EXPECT_EQ(setting("uri"), away);

    EXPECT_EQ(std::get<0>(follow("off")), 0);
    EXPECT_EQ(std::pair(setting("enabled"), setting("uri")), std::pair(QString("False"), away));
}
