// The phone book window and its entry dialog over a real SQLite file, driven through their
// controls' names as a user drives them.

#include "dialogs/PhoneBookWindow.h"
#include "dialogs/PhoneBookEntryDialog.h"
#include "history/HistoryDatabase.h"
#include "phonebook/PhoneBook.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookFile.h"
#include "ui/PhoneBookTableModel.h"

#include "support/HistoryRows.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/TempAppDir.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

PhoneBookEntry person(const QString& name, const QString& reading, const QStringList& numbers, bool nuisance = false)
{
    return {0, name, reading, QStringLiteral("山田商事"), numbers, QStringLiteral("メモ"), nuisance};
}

class PhoneBookWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString& statement :
             HistoryDatabase::createStatements(false) + PhoneBookDatabase::createStatements(false))
            ASSERT_TRUE(runSql(path, statement).has_value()) << statement.toStdString();
        book.open(path);
        ASSERT_TRUE(processEventsUntil([&] { return book.status() == PhoneBook::Status::Ready; }, 5s));
    }

    // Saved as another window would, once the copy has them.
    void save(const std::vector<PhoneBookEntry>& entries)
    {
        const std::size_t wanted = book.index().size() + entries.size();
        for (const PhoneBookEntry& entry : entries)
            book.save(entry);
        ASSERT_TRUE(processEventsUntil([&] { return book.index().size() == wanted; }, 5s));
    }
    // A column as shown, once it is `expected` (else as it is then).
    QStringList column(int column, const QStringList& expected)
    {
        const auto cells = [&] {
            QStringList shown;
            for (int row = 0; row < window.lstEntries->model()->rowCount(); ++row)
                shown << window.lstEntries->model()->index(row, column).data().toString();
            return shown;
        };
        processEventsUntil([&] { return cells() == expected; }, 5s);
        return cells();
    }
    void choose(int row) { window.lstEntries->setCurrentIndex(window.lstEntries->model()->index(row, 0)); }
    PhoneBookEntryDialog* dialog() { return window.findChild<PhoneBookEntryDialog*>(); }
    // Clicks OK; true once the dialog has closed (and is gone).
    bool confirm(PhoneBookEntryDialog* open)
    {
        QPointer<PhoneBookEntryDialog> closing = open;
        open->cmdOK->click();
        const bool closed = processEventsUntil([&] { return !closing || !closing->isVisible(); }, 5s);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return closed;
    }

    TempAppDir dir;
    QString path = dir.filePath(QStringLiteral("calls.db"));
    PhoneBook book;
    ScriptedMessageBoxes boxes;
    ScriptedFileChooser chooser;
    PhoneBookWindow window{book, boxes, chooser};
};

// An entry added and edited through the dialog; OK without a name or a number is refused.
TEST_F(PhoneBookWindowTest, AddsAndEdits)
{
    EXPECT_EQ(window.windowTitle(), "電話帳");
    window.cmdAdd->click();
    PhoneBookEntryDialog* added = dialog();
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->windowTitle(), "電話帳の登録");
    added->txtNumbers->setPlainText(" \n");
    added->cmdOK->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "名前か電話番号を入力してください");
    EXPECT_TRUE(added->isVisible());

    added->txtName->setText("山田太郎");
    added->txtReading->setText("ヤマダタロウ");
    added->txtCompany->setText("山田商事 営業部");
    added->txtNumbers->setPlainText("03-1234-5678\n\n 09011112222 ");
    added->txtNote->setPlainText("月曜は休み");
    ASSERT_TRUE(confirm(added));
    EXPECT_EQ(column(PhoneBookTableModel::Name, {"山田太郎"}), QStringList({"山田太郎"}));
    const PhoneBookEntry stored = *book.index().find("0312345678");
    EXPECT_EQ(stored, (PhoneBookEntry{stored.id,
                                      "山田太郎",
                                      "ヤマダタロウ",
                                      "山田商事 営業部",
                                      {"03-1234-5678", "09011112222"},
                                      "月曜は休み",
                                      false}));
    const QStringList numbers{"03-1234-5678、090-1111-2222"};
    EXPECT_EQ(column(PhoneBookTableModel::Numbers, numbers), numbers);
    EXPECT_EQ(window.currentEntry() ? window.currentEntry()->id : 0, stored.id) << "the entry added is chosen";

    QTest::keyClick(window.lstEntries, Qt::Key_Return);
    PhoneBookEntryDialog* edited = dialog();
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(edited->windowTitle(), "電話帳の編集");
    EXPECT_EQ(edited->entry(), stored);
    edited->txtName->setText("山田次郎");
    ASSERT_TRUE(confirm(edited));
    EXPECT_EQ(column(PhoneBookTableModel::Name, {"山田次郎"}), QStringList({"山田次郎"}));
    EXPECT_EQ(book.index().size(), 1u);
    EXPECT_EQ(window.lblStatus->text(), "1件");
}

// The search runs over name, reading (katakana and hiragana alike), company, note and the numbers in
// any notation; the status line counts what it finds.
TEST_F(PhoneBookWindowTest, Searches)
{
    save({person("山田太郎", "ヤマダタロウ", {"0312345678"}),
          person("佐藤花子", "さとうはなこ", {"090-2222-3333"}),
          {0, "鈴木", "", "鈴木工務店", {"0612340000"}, "", false}});
    // clang-format off
    const struct { const char* typed; QStringList names; } rows[] = {
        {"", {"鈴木", "佐藤花子", "山田太郎"}},
        {"やまだ", {"山田太郎"}},
        {"サトウ", {"佐藤花子"}},
        {"03-1234-5678", {"山田太郎"}},
        {"1234", {"鈴木", "山田太郎"}},
        {"工務店", {"鈴木"}},
        {"メモ", {"佐藤花子", "山田太郎"}},
        {"田中", {}},
    };
    // clang-format on
    for (const auto& row : rows) {
        window.txtSearch->setText(QString::fromUtf8(row.typed));
        EXPECT_EQ(column(PhoneBookTableModel::Name, row.names), row.names) << row.typed;
    }
    window.txtSearch->setText("やまだ");
    EXPECT_EQ(window.lblStatus->text(), "1件（全3件）");
    window.txtSearch->clear();
    EXPECT_EQ(window.lblStatus->text(), "3件");
}

// One click marks the entry chosen as a nuisance caller (red, marked) and another takes the mark away; a
// deletion asks first. The choice and the search stay as the book changes.
TEST_F(PhoneBookWindowTest, MarksAndDeletes)
{
    save({person("山田太郎", "やまだ", {"0312345678"}), person("佐藤花子", "さとう", {"0612345678"})});
    window.txtSearch->setText("5678");
    ASSERT_EQ(column(PhoneBookTableModel::Name, {"佐藤花子", "山田太郎"}).size(), 2);
    choose(1);
    EXPECT_EQ(window.cmdNuisance->text(), "迷惑電話にする");
    window.cmdNuisance->click();
    EXPECT_EQ(column(PhoneBookTableModel::Name, {"佐藤花子", "山田太郎　迷惑電話"}),
              QStringList({"佐藤花子", "山田太郎　迷惑電話"}));
    EXPECT_TRUE(book.index().find("0312345678")->nuisance);
    const QModelIndex cell = window.lstEntries->model()->index(1, PhoneBookTableModel::Numbers);
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>(), PhoneBookTableModel::nuisanceColour());
    EXPECT_EQ(window.cmdNuisance->text(), "迷惑電話を解除");
    window.cmdNuisance->click();
    EXPECT_EQ(column(PhoneBookTableModel::Name, {"佐藤花子", "山田太郎"}), QStringList({"佐藤花子", "山田太郎"}));
    EXPECT_EQ(window.txtSearch->text(), "5678");

    boxes.answers = {MessageBoxes::Answer::No, MessageBoxes::Answer::Yes};
    window.cmdDelete->click();
    QTest::keyClick(window.lstEntries, Qt::Key_Delete);
    EXPECT_EQ(column(PhoneBookTableModel::Name, {"佐藤花子"}), QStringList({"佐藤花子"}));
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, "「山田太郎」を電話帳から削除しますか？");
    EXPECT_EQ(boxes.shown[1].buttons, MessageBoxes::Buttons::YesNo);
    EXPECT_EQ(book.index().find("0312345678"), nullptr);
    EXPECT_FALSE(window.cmdDelete->isEnabled());
}

// A CSV file imported, the report shown; what the search finds exported as CSV and as vCard reads back
// whole; a file that cannot be read is said so.
TEST_F(PhoneBookWindowTest, ImportsAndExports)
{
    save({person("山田太郎", "やまだ", {"0312345678"})});
    const QString csv = dir.filePath("読み込み.csv");
    const QByteArray bytes = "名前,よみ,会社・部署,電話番号,メモ,迷惑\r\n"
                             "山田太郎,やまだ,山田商事,03-1234-5678;090-1111-2222,,\r\n"
                             "佐藤花子,さとう,,0612345678,\"二行の\nメモ\",1\r\n"
                             ",,,,メモだけ,\r\n";
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const QString expected = importReport(planImport(book.index(), readPhoneBookFile(bytes)));
    chooser.answers = {csv};
    window.cmdImport->click();
    ASSERT_TRUE(processEventsUntil([&] { return !boxes.shown.empty(); }, 5s));
    EXPECT_EQ(boxes.shown[0].text, expected);
    EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::Information);
    EXPECT_EQ(column(PhoneBookTableModel::Name, {"佐藤花子　迷惑電話", "山田太郎"}),
              QStringList({"佐藤花子　迷惑電話", "山田太郎"}));
    EXPECT_EQ(book.index().find("09011112222"), book.index().find("0312345678"));

    std::vector<PhoneBookEntry> shown;
    for (const PhoneBookEntry* entry : book.index().search({})) {
        shown.push_back(*entry);
        shown.back().id = 0;
    }
    for (const char* name : {"書き出し.csv", "書き出し.vcf"}) {
        chooser.saveAnswers = {dir.filePath(name)};
        window.cmdExport->click();
        QFile written(dir.filePath(name));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << name;
        std::vector<PhoneBookEntry> read;
        for (const PhoneBookLine& line : readPhoneBookFile(written.readAll()).entries)
            read.push_back(line.entry);
        EXPECT_EQ(read, shown) << name;
    }

    chooser.answers = {dir.filePath("ない.csv")};
    window.cmdImport->click();
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_TRUE(boxes.shown[1].text.startsWith("ファイルを読めません")) << boxes.shown[1].text.toStdString();
}

} // namespace
