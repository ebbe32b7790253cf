// The call-history window over a real SQLite file and a table on a throwaway PostgreSQL
// server, driven through its controls' names as a user drives it.

#include "dialogs/HistoryWindow.h"
#include "app/Settings.h"
#include "dialogs/LeaveMessageDialog.h"
#include "dialogs/PhoneBookEntryDialog.h"
#include "history/CallEventStore.h"
#include "history/HistoryBrowser.h"
#include "history/HistoryDatabase.h"
#include "history/PostgresHistoryStore.h"
#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookDatabase.h"
#include "ui/HistoryTableModel.h"
#include "ui/PhoneBookTableModel.h"

#include "support/CsvReader.h"
#include "support/OfficeServer.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/TestDesk.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

enum class Kind
{
    File,
    Server
};

const QString kPage = QStringLiteral("https://crm.example.jp/tel/");

QString day(int daysFromToday, const char* time)
{
    return QDate::currentDate().addDays(daysFromToday).toString("yyyy-MM-dd ") + time;
}

class HistoryWindowTest : public ::testing::TestWithParam<Kind>
{
protected:
    void SetUp() override
    {
        QString error;
        if (GetParam() == Kind::Server) {
            target = freshOfficeHistory(error).first;
            ASSERT_FALSE(target.isEmpty()) << error.toStdString();
        } else {
            target = desk.dir.filePath("calls.db");
            ASSERT_TRUE(createHistoryDatabase(target, &error)) << error.toStdString();
        }
        desk.write("[URL]\nbrowse=False\nhistory=True\npath1=" + kPage.toUtf8() + "\npath3=" + target.toUtf8());
        LoadSettings(desk.state());
    }

    // Runs `statement` on a connection of the test's own, once per list of values; the first
    // column of what the last run returns.
    QStringList sql(const QString& statement, const std::vector<QVariantList>& runs = {{}})
    {
        QStringList column;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(GetParam() == Kind::Server ? "QPSQL" : "QSQLITE", name);
            QString error;
            if (GetParam() == Kind::File)
                db.setDatabaseName(target);
            EXPECT_TRUE((GetParam() == Kind::File || HistoryDatabase::configurePostgresConnection(db, target, error)) &&
                        db.open());
            QSqlQuery query(db);
            for (const QVariantList& values : runs) {
                // The server prepares no DROP or CREATE: a statement without values runs as it is.
                if (!values.isEmpty())
                    query.prepare(statement);
                for (const QVariant& value : values)
                    query.addBindValue(value);
                EXPECT_TRUE(values.isEmpty() ? query.exec(statement) : query.exec())
                    << statement.toStdString() << query.lastError().text().toStdString();
            }
            while (query.next())
                column << query.value(0).toString();
        }
        QSqlDatabase::removeDatabase(name);
        return column;
    }
    // Rows as another desk or tool writes them: number and "YYYY-MM-DD HH:MM:SS".
    void add(const std::vector<std::pair<QString, QString>>& rows)
    {
        std::vector<QVariantList> runs;
        for (const auto& [number, calldate] : rows)
            runs.push_back({number, calldate});
        sql(GetParam() == Kind::Server ? "INSERT INTO history (telnum, calldate) VALUES (?, ?::timestamp)"
                                       : "INSERT INTO history (telnum, calldate) VALUES (?, ?)",
            runs);
    }

    HistoryWindow& open(std::chrono::milliseconds poll = 100ms)
    {
        HistoryWindow& window = desk.program->openHistory();
        window.browser().setPollInterval(poll);
        return window;
    }

    // The cells of a column as shown; for the number, the number as stored.
    static QStringList column(HistoryWindow& window, int column, int role = Qt::DisplayRole)
    {
        QStringList cells;
        const QAbstractItemModel& model = *window.lstHistory->model();
        for (int row = 0; row < model.rowCount(); ++row)
            cells << model.index(row, column)
                         .data(column == HistoryTableModel::Number ? Qt::ToolTipRole : role)
                         .toString();
        return cells;
    }
    // The numbers shown, once they are `expected` (else as they are then).
    static QStringList numbers(HistoryWindow& window, const QStringList& expected)
    {
        processEventsUntil([&] { return column(window, HistoryTableModel::Number) == expected; }, 5s);
        return column(window, HistoryTableModel::Number);
    }

    TestDesk desk;
    QString target;
};

// The history made by --create-history-db comes with the indexes the window's reads need.
TEST_P(HistoryWindowTest, MadeWithItsIndexes)
{
    const QStringList names =
        sql(GetParam() == Kind::Server ? "SELECT indexname FROM pg_indexes WHERE tablename = 'history'"
                                       : "SELECT name FROM sqlite_master WHERE type = 'index'");
    EXPECT_TRUE(names.contains("history_calldate") && names.contains("history_telnum"))
        << names.join(' ').toStdString();
}

// Newest call first (the higher key first within one second), each with its number's count.
TEST_P(HistoryWindowTest, NewestFirstWithCounts)
{
    add({{"0311110000", "2026-12-01 09:00:00"},
         {"0322220000", "2026-12-03 10:00:00"},
         {"0311110000", "2026-12-02 08:00:00"},
         {"0311110000", "2026-12-03 10:00:00"}});
    HistoryWindow& window = open();
    EXPECT_EQ(window.windowTitle(), "着信履歴");
    const QStringList order{"0311110000", "0322220000", "0311110000", "0311110000"};
    EXPECT_EQ(numbers(window, order), order);
    EXPECT_EQ(column(window, HistoryTableModel::DateTime), QStringList({"2026-12-03 10:00:00", "2026-12-03 10:00:00",
                                                                        "2026-12-02 08:00:00", "2026-12-01 09:00:00"}));
    EXPECT_EQ(column(window, HistoryTableModel::Calls), QStringList({"3", "1", "3", "3"}));
}

// Pages of 100 as the view scrolls down, none twice, none left out, also where another
// program wrote fractions of a second or many calls share one second.
TEST_P(HistoryWindowTest, PagesAsItScrolls)
{
    std::vector<std::pair<QString, QString>> rows;
    for (int n = 0; n < 230; ++n)
        rows.emplace_back(QString::number(n), QStringLiteral("2026-12-01 09:%1:00%2")
                                                  .arg(n / 20, 2, 10, QLatin1Char('0'))
                                                  .arg(GetParam() == Kind::Server && n % 2 == 0 ? ".5" : ""));
    add(rows);
    HistoryWindow& window = open();
    QAbstractItemModel& model = *window.lstHistory->model();
    ASSERT_TRUE(processEventsUntil([&] { return model.rowCount() == 100; }, 5s));
    window.lstHistory->scrollToBottom();
    ASSERT_TRUE(processEventsUntil([&] { return model.rowCount() == 200; }, 5s));
    model.fetchMore({});
    ASSERT_TRUE(processEventsUntil([&] { return model.rowCount() == 230; }, 5s));
    EXPECT_FALSE(model.canFetchMore({}));
    // Minutes newest first; within one, a fraction of a second later first, then the higher key.
    QStringList expected;
    for (int minute = 11; minute >= 0; --minute)
        for (const bool fraction : {true, false})
            for (int n = std::min(229, minute * 20 + 19); n >= minute * 20; --n)
                if ((GetParam() == Kind::Server && n % 2 == 0) == fraction)
                    expected << QString::number(n);
    EXPECT_EQ(column(window, HistoryTableModel::Number), expected);
}

// The search box narrows as a person types a number; the period narrows by day.
TEST_P(HistoryWindowTest, SearchByFragmentAndPeriod)
{
    add({{"0612345678", day(-40, "12:00:00")},
         {"09012345678", day(-1, "23:59:59")},
         {"0312349999", day(0, "00:00:00")},
         {"0312345678", day(0, "08:30:00")}});
    HistoryWindow& window = open();
    // clang-format off
    const struct { const char* typed; QStringList shown; } rows[] = {
        {"", {"0312345678", "0312349999", "09012345678", "0612345678"}},
        {"03-1234", {"0312345678", "0312349999"}},
        {"０９０", {"09012345678"}},
        {" 5678 ", {"0312345678", "09012345678", "0612345678"}},
        {"03 1234 9", {"0312349999"}},
        {"03ー1234－5", {"0312345678"}},
        {"7777", {}},
    };
    // clang-format on
    for (const auto& row : rows) {
        window.txtSearch->setText(QString::fromUtf8(row.typed));
        EXPECT_EQ(numbers(window, row.shown), row.shown) << row.typed;
    }

    window.txtSearch->clear();
    // clang-format off
    const struct { int period; int fromDays, toDays; QStringList shown; } periods[] = {
        {1, 0, 0, {"0312345678", "0312349999"}},
        {2, 0, 0, {"09012345678"}},
        {5, -39, -41, {"0612345678"}},
        {5, -40, -1, {"09012345678", "0612345678"}},
        {0, 0, 0, {"0312345678", "0312349999", "09012345678", "0612345678"}},
    };
    // clang-format on
    for (const auto& row : periods) {
        window.cboPeriod->setCurrentIndex(row.period);
        window.dtFrom->setDate(QDate::currentDate().addDays(row.fromDays));
        window.dtTo->setDate(QDate::currentDate().addDays(row.toDays));
        EXPECT_EQ(numbers(window, row.shown), row.shown) << window.cboPeriod->currentText().toStdString();
        EXPECT_EQ(window.dtFrom->isEnabled(), row.period == 5);
    }
}

// A number typed in any notation finds the number as the line sent it, which the table shows as written; a reason
// finds the calls without a number, shown by their reason, and those open no page when openwithheld says so.
TEST_P(HistoryWindowTest, SearchByAnyNotationAndByReason)
{
    add({{"0312345678", day(0, "09:00:00")},
         {"P", day(0, "09:01:00")},
         {"O", day(0, "09:02:00")},
         {"", day(0, "09:03:00")},
         {"09012345678", day(0, "09:04:00")}});
    HistoryWindow& window = open();
    for (const char* typed : {"03-1234-5678", "+81 3 1234 5678", "０３１２３４５６７８", "(03) 1234"}) {
        window.txtSearch->setText(QString::fromUtf8(typed));
        EXPECT_EQ(numbers(window, {"0312345678"}), QStringList({"0312345678"})) << typed;
    }
    EXPECT_EQ(window.lstHistory->model()->index(0, HistoryTableModel::Number).data().toString(), "03-1234-5678");
    window.txtSearch->clear();
    const QStringList expected[] = {{"09012345678", "", "O", "P", "0312345678"}, {"P"}, {"O"}, {}, {}, {""}};
    QStringList shown;
    for (int reason = 0; reason < window.cboReason->count(); ++reason) {
        window.cboReason->setCurrentIndex(reason);
        EXPECT_EQ(numbers(window, expected[reason]), expected[reason]) << reason;
        if (window.lstHistory->model()->rowCount() == 1)
            shown << window.lstHistory->model()->index(0, HistoryTableModel::Number).data().toString();
    }
    EXPECT_EQ(shown, QStringList({"非通知", "表示圏外", "番号なし"}));
    desk.state().urlSettings.openwithheld = "False";
    window.openPage(0);
    window.cboReason->setCurrentIndex(0);
    ASSERT_EQ(numbers(window, expected[0]).size(), 5);
    window.openPage(0);
    desk.state().urlSettings.openwithheld.clear();
    window.openPage(1);
    EXPECT_EQ(desk.browser.urls, QStringList({kPage + "09012345678", kPage}));
}

// Enter, a double-click and the context menu open the caller's page as a call would, even
// with the browser switched off for calls, and record nothing; Ctrl+C copies the number.
TEST_P(HistoryWindowTest, OpensThePageAndCopiesTheNumber)
{
    add({{"0312&x=1#y", "2026-12-01 09:00:00"}, {"0311110000", "2026-12-02 09:00:00"}});
    HistoryWindow& window = open();
    ASSERT_EQ(numbers(window, {"0311110000", "0312&x=1#y"}).size(), 2);
    QTableView& table = *window.lstHistory;

    table.setCurrentIndex(table.model()->index(0, 0));
    QTest::keyClick(&table, Qt::Key_Return);
    table.setCurrentIndex(table.model()->index(1, 1));
    table.findChild<QAction*>("mnuOpenPage")->trigger();
    const QPoint cell = table.visualRect(table.model()->index(0, 1)).center();
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(desk.browser.urls, QStringList({kPage + "0311110000", kPage + "0312%26x%3D1%23y", kPage + "0311110000"}));
    desk.state().urlSettings.path1 = "https://crm.example.jp/?tel={number}&at={date}T{time}";
    table.findChild<QAction*>("mnuOpenPage")->trigger();
    EXPECT_EQ(desk.browser.urls.last(), "https://crm.example.jp/?tel=0311110000&at=2026-12-02T09%3A00%3A00");

    table.setCurrentIndex(table.model()->index(1, 0));
    QTest::keyClick(&table, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "0312&x=1#y");

    QTest::qWait(300);
    EXPECT_EQ(column(window, HistoryTableModel::Number).size(), 2) << "the table changed";
    EXPECT_TRUE(desk.boxes.shown.empty());
}

// The rows the search finds go to a CSV file a spreadsheet reads: a byte-order mark, a
// header, RFC 4180 quoting, and a number no spreadsheet takes for a formula.
TEST_P(HistoryWindowTest, ExportsWhatTheSearchFinds)
{
    add({{"=1+2,\"3\"", "2026-12-01 09:00:00"},
         {"0311110000", "2026-12-02 09:00:00"},
         {"0322220000", "2026-12-03 09:00:00"},
         {"0311110000", "2026-12-04 09:00:00"}});
    HistoryWindow& window = open();
    window.txtSearch->setText("1");
    ASSERT_EQ(numbers(window, {"0311110000", "0311110000", "=1+2,\"3\""}).size(), 3);

    const QString path = desk.dir.filePath("書き出し.csv");
    desk.chooser.saveAnswers = {path};
    window.cmdExport->click();
    ASSERT_TRUE(processEventsUntil([&] { return window.lblStatus->text().startsWith("3件を書き出しました"); }, 10s))
        << window.lblStatus->text().toStdString();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const auto csv = readCsv(QString::fromUtf8(bytes.mid(3)));
    ASSERT_TRUE(csv.has_value());
    EXPECT_EQ(*csv, (std::vector<QStringList>{
                        {"日時", "電話番号", "電話番号（表記）", "着信回数", "名前", "状態", "担当", "メモ"},
                        {"2026-12-04 09:00:00", "0311110000", "03-1111-0000", "2", "", "未対応", "", ""},
                        {"2026-12-02 09:00:00", "0311110000", "03-1111-0000", "2", "", "未対応", "", ""},
                        {"2026-12-01 09:00:00", "'=1+2,\"3\"", "'=1+2,\"3\"", "1", "", "未対応", "", ""}}));
    EXPECT_TRUE(bytes.contains("\r\n"));

    // Cancelled: nothing is written.
    window.cmdExport->click();
    EXPECT_TRUE(window.cmdExport->isEnabled());
}

// A call another desk writes appears at the top and counts; one this program writes appears
// at once, without waiting for the next look.
TEST_P(HistoryWindowTest, CallsWrittenWhileOpen)
{
    add({{"0311110000", "2026-12-01 09:00:00"}, {"0322220000", "2026-12-02 09:00:00"}});
    HistoryWindow& window = open();
    ASSERT_EQ(numbers(window, {"0322220000", "0311110000"}).size(), 2);

    add({{"0311110000", "2026-12-03 09:00:00"}});
    EXPECT_EQ(numbers(window, {"0311110000", "0322220000", "0311110000"}),
              QStringList({"0311110000", "0322220000", "0311110000"}));
    EXPECT_EQ(column(window, HistoryTableModel::Calls), QStringList({"2", "1", "2"}));

    window.browser().setPollInterval(1h);
    desk.program->history.WriteCallHistory("0333330000", QDateTime(QDate(2026, 12, 4), QTime(9, 0)));
    EXPECT_EQ(numbers(window, {"0333330000", "0311110000", "0322220000", "0311110000"}).size(), 4);
}

// The database away: a line in the window says so, no message box, the rows read stay until
// the search changes (never under a search they do not match), and the window reads again once
// it is back.
TEST_P(HistoryWindowTest, DatabaseAwayAndBack)
{
    add({{"0311110000", "2026-12-01 09:00:00"}, {"0322220000", "2026-12-02 09:00:00"}});
    HistoryWindow& window = open();
    window.txtSearch->setText("1111");
    ASSERT_EQ(numbers(window, {"0311110000"}).size(), 1);

    if (GetParam() == Kind::Server)
        ASSERT_TRUE(officeServer().stop());
    else
        ASSERT_TRUE(QFile::rename(target, target + ".away"));
    EXPECT_TRUE(processEventsUntil([&] { return window.lblStatus->text().startsWith("着信履歴を読めません"); }, 10s));
    EXPECT_FALSE(window.lblStatus->text().contains("password"));
    EXPECT_EQ(column(window, HistoryTableModel::Number), QStringList({"0311110000"}));
    window.txtSearch->setText("2222");
    EXPECT_EQ(column(window, HistoryTableModel::Number), QStringList());

    if (GetParam() == Kind::Server)
        ASSERT_TRUE(officeServer().start());
    else
        ASSERT_TRUE(QFile::rename(target + ".away", target));
    add({{"0322223333", "2026-12-03 09:00:00"}});
    EXPECT_EQ(numbers(window, {"0322223333", "0322220000"}), QStringList({"0322223333", "0322220000"}));
    EXPECT_EQ(window.lblStatus->text(), "");
    EXPECT_TRUE(desk.boxes.shown.empty());
}

// With call events: their columns, filter and actions; each action through the events, the row following what
// arrives; a claim another person won says who has it; the message dialog filled and sent; 未対応, the messages for
// this desk's person (leaving once called back) and a memo's text narrow the rows.
TEST_P(HistoryWindowTest, WhatPeopleDoWithTheCalls)
{
    add({{"0311110000", "2026-12-01 09:00:00"},
         {"0322220000", "2026-12-02 09:00:00"},
         {"0333330000", "2026-12-03 09:00:00"},
         {"0344440000", "2026-12-04 09:00:00"}});
    const QStringList keys = sql(GetParam() == Kind::Server ? "SELECT id FROM history ORDER BY id"
                                                            : "SELECT rowid FROM history ORDER BY rowid");
    CallEventStore other(target);
    ASSERT_TRUE(other.add({.callId = keys[0].toLongLong(), .kind = CallEvent::Kind::Claim, .person = "佐藤"}));
    ASSERT_TRUE(other.seen("佐藤"));
    other.disconnect();
    CallEvents events;
    events.open(target, "田中");
    HistoryWindow window(desk.state(), desk.browser, desk.chooser, nullptr, nullptr, &desk.boxes);
    window.browser().setPollInterval(100ms);
    ASSERT_TRUE(window.lstHistory->isColumnHidden(HistoryTableModel::State) && window.cboProgress->isHidden() &&
                !window.mnuClaim->isVisible());
    window.setCallEvents(&events);
    EXPECT_FALSE(window.lstHistory->isColumnHidden(HistoryTableModel::Memo) || window.cboProgress->isHidden() ||
                 !window.mnuDone->isVisible());
    EXPECT_TRUE(window.txtSearch->placeholderText().endsWith("メモ"));
    const auto cells = [&](int col, const QStringList& expected) {
        processEventsUntil([&] { return column(window, col) == expected; }, 10s);
        return column(window, col);
    };
    const QStringList claimed{"未対応", "未対応", "未対応", "対応中"};
    ASSERT_EQ(cells(HistoryTableModel::State, claimed), claimed);

    window.claim(3);
    ASSERT_TRUE(processEventsUntil([&] { return !desk.boxes.shown.empty(); }, 10s));
    EXPECT_EQ(desk.boxes.shown[0].text, "佐藤さんが対応中です。");
    window.claim(1);
    const QStringList mine{"", "田中", "", "佐藤"};
    EXPECT_EQ(cells(HistoryTableModel::Claimer, mine), mine);
    window.markDone(1);
    ASSERT_TRUE(processEventsUntil([&] { return events.people().contains("佐藤"); }, 10s));
    LeaveMessageDialog* dialog = window.leaveMessage(2);
    ASSERT_EQ(dialog, window.findChild<LeaveMessageDialog*>());
    EXPECT_EQ(dialog->lblCall->text(), "03-2222-0000　2026-12-02 09:00:00");
    EXPECT_EQ(dialog->cboTo->itemText(0), "佐藤");
    EXPECT_FALSE(dialog->cmdOk->isEnabled());
    dialog->cboTo->setEditText("田中");
    dialog->txtMessage->setPlainText("見積の件で");
    dialog->cmdOk->click();
    const QStringList states{"未対応", "完了", "折り返し待ち", "対応中"};
    EXPECT_EQ(cells(HistoryTableModel::State, states), states);
    const QModelIndex memo = window.lstHistory->model()->index(2, HistoryTableModel::Memo);
    EXPECT_EQ(memo.data().toString(), "田中さんへ: 見積の件で");
    EXPECT_TRUE(memo.data(Qt::ToolTipRole).toString().contains("田中さん → 田中さん（折り返し要）"));
    EXPECT_EQ(desk.boxes.shown.size(), 1u);

    window.cboProgress->setCurrentIndex(1);
    EXPECT_EQ(numbers(window, {"0344440000"}), QStringList({"0344440000"}));
    window.cboPeriod->setCurrentIndex(1);
    window.showMessagesForMe();
    EXPECT_EQ(window.cboPeriod->currentIndex(), 0);
    EXPECT_EQ(numbers(window, {"0322220000"}), QStringList({"0322220000"}));
    EXPECT_EQ(window.lstHistory->model()
                  ->index(0, HistoryTableModel::Memo)
                  .data(Qt::ToolTipRole)
                  .toString()
                  .count("折り返し要"),
              1)
        << "the message read again and arrived once";
    window.markCalledBack(0);
    EXPECT_EQ(numbers(window, {}), QStringList());
    window.cboProgress->setCurrentIndex(0);
    window.txtSearch->setText("見積");
    EXPECT_EQ(numbers(window, {"0322220000"}), QStringList({"0322220000"}));
}

// A desk without a person has no 自分宛ての伝言; a history without the events table shows none of their controls.
TEST_P(HistoryWindowTest, WithoutPersonOrEventsTable)
{
    CallEvents events;
    events.open(target, "");
    HistoryWindow window(desk.state(), desk.browser, desk.chooser);
    window.setCallEvents(&events);
    window.cboPeriod->setCurrentIndex(1);
    window.showMessagesForMe();
    EXPECT_EQ(std::tuple(window.cboProgress->isHidden(), window.cboPeriod->currentIndex(),
                         window.cboProgress->model()->index(2, 0).flags().testFlag(Qt::ItemIsEnabled)),
              std::tuple(false, 1, false));
    sql("DROP TABLE call_events");
    CallEvents absent;
    absent.open(target, "田中");
    window.setCallEvents(&absent);
    EXPECT_TRUE(processEventsUntil([&] { return window.cboProgress->isHidden(); }, 10s));
    EXPECT_TRUE(window.lstHistory->isColumnHidden(HistoryTableModel::State) && !window.mnuClaim->isVisible());
}

// The recipients offered: the others as the desks saw them, each once, then this desk's person; none chosen, and
// 「送る」 only with one, a new name typed as well.
TEST(LeaveMessageDialogTest, Recipients)
{
    // clang-format off
    const struct { QStringList people; QString me; QStringList offered; } rows[] = {
        {{"田中", "佐藤", "鈴木"}, "田中", {"佐藤", "鈴木", "田中"}},
        {{"佐藤", "", "佐藤"}, "田中", {"佐藤", "田中"}},
        {{"佐藤"}, "", {"佐藤"}},
    };
    // clang-format on
    for (const auto& row : rows)
        EXPECT_EQ(LeaveMessageDialog::recipients(row.people, row.me), row.offered) << row.me.toStdString();
    LeaveMessageDialog dialog("03-1234-5678", {"佐藤"}, "田中");
    EXPECT_EQ(std::tuple(dialog.windowTitle(), dialog.to(), dialog.cmdOk->isEnabled(), dialog.callBack()),
              std::tuple(QString("伝言を残す"), QString(), false, true));
    dialog.cboTo->setEditText("  ");
    EXPECT_FALSE(dialog.cmdOk->isEnabled());
    dialog.cboTo->setEditText(" 新人 ");
    dialog.optNoCallBack->click();
    EXPECT_EQ(std::tuple(dialog.to(), dialog.cmdOk->isEnabled(), dialog.callBack()),
              std::tuple(QString("新人"), true, false));
}

// The tray menu's item, above "終了", and Ctrl+H in the main window open one window at most.
TEST(HistoryWindowOpening, TrayItemAndCtrlH)
{
    TestDesk desk;
    frmTerminal& main = desk.window();
    QStringList items;
    for (const QAction* action : main.mnuContext->actions())
        items << action->text();
    EXPECT_EQ(items, QStringList({"未対応 0件", "伝言 0件", "待ち受け開始", "設定", "着信履歴", "着信のフォロー",
                                  "電話帳", "終了"}));

    main.mnuHistory->trigger();
    HistoryWindow* window = desk.program->historyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    window->close();
    EXPECT_TRUE(processEventsUntil([&] { return desk.program->historyWindow() == nullptr; }, 2s));

    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_H, Qt::ControlModifier);
    window = desk.program->historyWindow();
    ASSERT_NE(window, nullptr);
    QTest::keyClick(&main, Qt::Key_H, Qt::ControlModifier);
    EXPECT_EQ(desk.program->historyWindow(), window);
    EXPECT_EQ(QApplication::topLevelWidgets().count(window), 1);
}

// With the phone book, over a file.
class HistoryWindowBookTest : public HistoryWindowTest
{};

// The name stored with a call, and the book's name now beside it when that differs; a row registered
// and a caller marked as a nuisance from the context menu; a name or a reading typed finds the calls.
TEST_P(HistoryWindowBookTest, NamesFromThePhoneBook)
{
    if (sql(PhoneBookDatabase::existsStatement(false)).isEmpty())
        for (const QString& statement : PhoneBookDatabase::createStatements(false))
            sql(statement);
    sql(HistoryDatabase::insertStatement(false, true), {{"0311110000", "2026-12-05 09:00:00", "山田"},
                                                        {"0322220000", "2026-12-04 09:00:00", "佐藤"},
                                                        {"0333330000", "2026-12-03 09:00:00", QVariant()},
                                                        {"0344440000", "2026-12-02 09:00:00", QVariant()},
                                                        {"P", "2026-12-01 09:00:00", QVariant()}});
    PhoneBook book;
    book.open(target);
    book.save({0, "山田太郎", "やまだたろう", "", {"03-1111-0000"}, "", false});
    book.save({0, "佐藤", "", "", {"0322220000"}, "", false});
    ASSERT_TRUE(processEventsUntil([&] { return book.index().size() == 2; }, 5s));
    HistoryWindow window(desk.state(), desk.browser, desk.chooser, nullptr, &book, &desk.boxes);
    const QStringList all{"0311110000", "0322220000", "0333330000", "0344440000", "P"};
    ASSERT_EQ(numbers(window, all), all);
    const auto names = [&](const QStringList& expected) {
        processEventsUntil([&] { return column(window, HistoryTableModel::Name) == expected; }, 5s);
        return column(window, HistoryTableModel::Name);
    };
    EXPECT_EQ(names({"山田（現在: 山田太郎）", "佐藤", "", "", ""}),
              QStringList({"山田（現在: 山田太郎）", "佐藤", "", "", ""}));

    QTableView& table = *window.lstHistory;
    table.setCurrentIndex(table.model()->index(4, 0));
    EXPECT_FALSE(window.mnuPhoneBook->isVisible() || window.mnuNuisance->isVisible()) << "a row without a number";
    table.setCurrentIndex(table.model()->index(2, 0));
    ASSERT_TRUE(window.mnuPhoneBook->isVisible());
    EXPECT_EQ(window.mnuPhoneBook->text(), "電話帳に登録");
    window.mnuPhoneBook->trigger();
    auto* dialog = window.findChild<PhoneBookEntryDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->txtNumbers->toPlainText(), "03-3333-0000");
    dialog->txtName->setText("鈴木");
    dialog->cmdOK->click();
    const QStringList registered{"山田（現在: 山田太郎）", "佐藤", "（現在: 鈴木）", "", ""};
    EXPECT_EQ(names(registered), registered);
    EXPECT_EQ(window.mnuPhoneBook->text(), "電話帳を編集");

    table.setCurrentIndex(table.model()->index(1, 0));
    window.mnuNuisance->trigger();
    table.setCurrentIndex(table.model()->index(3, 0));
    EXPECT_EQ(window.mnuNuisance->text(), "迷惑電話にする");
    window.mnuNuisance->trigger();
    const QStringList marked{"山田（現在: 山田太郎）", "佐藤　迷惑電話", "（現在: 鈴木）", "迷惑電話", ""};
    EXPECT_EQ(names(marked), marked);
    EXPECT_EQ(window.mnuNuisance->text(), "迷惑電話を解除");
    EXPECT_EQ(table.model()->index(1, HistoryTableModel::DateTime).data(Qt::ForegroundRole).value<QColor>(),
              PhoneBookTableModel::nuisanceColour());
    EXPECT_EQ(book.index().find("0344440000")->numbers, QStringList({"03-4444-0000"}));

    // clang-format off
    const struct { const char* typed; QStringList shown; } rows[] = {
        {"やまだ", {"0311110000"}},
        {"佐藤", {"0322220000"}},
        {"鈴木", {"0333330000"}},
    };
    // clang-format on
    for (const auto& row : rows) {
        window.txtSearch->setText(QString::fromUtf8(row.typed));
        EXPECT_EQ(numbers(window, row.shown), row.shown) << row.typed;
    }
    EXPECT_TRUE(desk.boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(History, HistoryWindowBookTest, ::testing::Values(Kind::File),
                         [](const auto&) { return "File"; });

INSTANTIATE_TEST_SUITE_P(History, HistoryWindowTest, ::testing::Values(Kind::File, Kind::Server),
                         [](const auto& info) { return info.param == Kind::File ? "File" : "Server"; });

} // namespace
