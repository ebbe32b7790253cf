#include "phonebook/PhoneBookFile.h"
#include "phonebook/PhoneBookImport.h"
#include "phonebook/PhoneBookIndex.h"
#include "support/FileTree.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

void PrintTo(const PhoneBookEntry& e, std::ostream* os)
{
    *os << "{" << e.id << ", " << e.name.toStdString() << " / " << e.reading.toStdString() << " / "
        << e.company.toStdString() << " / [" << e.numbers.join(u'|').toStdString() << "] / " << e.note.toStdString()
        << (e.nuisance ? " / 迷惑}" : "}");
}

void PrintTo(const PhoneBookSkip& skip, std::ostream* os)
{
    *os << skip.line << ": " << skip.why.toStdString();
}

namespace {

struct Expected
{
    int line;
    PhoneBookEntry entry;
};

PhoneBookEntry entry(const QString& name, const QString& reading, const QString& company, const QStringList& numbers,
                     const QString& note = {}, bool nuisance = false)
{
    return {0, name, reading, company, numbers, note, nuisance};
}

std::vector<PhoneBookEntry> entriesOf(const PhoneBookFile& file)
{
    std::vector<PhoneBookEntry> entries;
    for (const PhoneBookLine& line : file.entries)
        entries.push_back(line.entry);
    return entries;
}

} // namespace

// Files as phones, address books and Excel write them, each with a card or a row or two that must be
// left out and reported with its line: 2.1 in Shift_JIS with quoted-printable soft breaks
// inside a character (and raw CP932 whose second bytes are backslashes), 3.0 with groups, a
// folded note and escapes, 4.0 with tel: URIs, Excel's CP932 CSV with a cell over two lines,
// and UTF-8 CSV with a BOM, English headers and an open quote that must not swallow the rest.
TEST(PhoneBookFile, ReadsEachFileExactly)
{
    // clang-format off
    struct Row { const char* file; std::vector<Expected> entries; std::vector<PhoneBookSkip> skipped; };
    const std::vector<Row> rows = {
        {"phone-2.1-sjis.vcf", {
            {1, entry("山田 太郎", "ﾔﾏﾀﾞ ﾀﾛｳ", "", {"090-1234-5678", "03-1234-5678"}, "月末に請求書を送る")},
            {11, entry("受付", "", "表参道ソフト 営業部", {"0120-444-444"})}},
         {{20, "読めない行です"}}},
        {"contacts-3.0.vcf", {
            {1, entry("佐藤 一郎", "さとう いちろう", "有限会社 佐藤工務店, 本社 総務部", {"050 123 4567", "+81-3-1234-5678"},
                      "駐車場は裏手\n午前中は不在。\\は円記号ではなく バックスラッシュ")},
            {18, entry("伊藤 美咲", "", "", {"0312340000"})}},
         {{14, "END:VCARD がありません"}}},
        {"contacts-4.0.vcf", {
            {1, entry("中村 健", "なかむら けん", "中村商事", {"+81-45-212-3456", "090-8765-4321"}, "折り返しは夕方, 17時以降")},
            {15, entry("", "", "", {"0570-000-000"}, "", true)}},
         {{10, "名前も電話番号もありません"}}},
        {"excel-cp932.csv", {
            {2, entry("渡辺 恵", "ワタナベ メグミ", "表計算ソフト株式会社 経理部", {"03-3333-4444", "090-2222-3333"},
                      "請求書は\"月末\"締め\n担当は渡辺さん")},
            {4, entry("小林, 商店", "コバヤシショウテン", "", {"０６－６２１２－３４５６"}, "", true)},
            {7, entry("加藤 進", "カトウ ススム", "", {"045-111-2222", "045-111-2223"})}},
         {{6, "電話番号に数字がありません"}}},
        {"bom-utf8.csv", {
            {2, entry("Smith, John", "スミス ジョン", "ACME Japan", {"+1 212-555-1234"})},
            {3, entry("松本 一", "まつもと はじめ", "", {"03-1111-2222", "03-1111-2223"}, "note with \"quotes\"", true)},
            {5, entry("木村 拓", "きむら たく", "", {"0120-111-222"})}},
         {{4, "引用符が閉じていません"}, {6, "見出しより列の多い行です"}}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const PhoneBookFile file = readPhoneBookFile(bytesOf(QStringLiteral(PHONEBOOK_DATA_DIR "/") + row.file));
        ASSERT_EQ(file.entries.size(), row.entries.size());
        for (std::size_t i = 0; i < row.entries.size(); ++i) {
            EXPECT_EQ(file.entries[i].line, row.entries[i].line);
            EXPECT_EQ(file.entries[i].entry, row.entries[i].entry);
        }
        EXPECT_EQ(file.skipped, row.skipped);
    }
}

// What a file's first line says it is, and the whole file that gives nothing to read.
TEST(PhoneBookFile, ToldApartByContent)
{
    // clang-format off
    struct Row { QByteArray bytes; std::size_t entries; std::vector<PhoneBookSkip> skipped; };
    const std::vector<Row> rows = {
        {"\xef\xbb\xbf\r\n  begin:vcard\r\nfn:a\r\nend:vcard\r\n", 1, {}},
        {"name,tel\nBEGIN:VCARD,1\n", 1, {}},
        {"\n\nfax,email\n03-1111-2222,a@example.jp\n", 0, {{3, "見出しの行に名前も電話番号の列もありません"}}},
        {"BEGIN:VCARD\r\nTEL:1\r\nEND:VCARD\r\ngarbage\r\nmore\r\n", 1, {{4, "BEGIN:VCARD の外の行です"}}},
        {"", 0, {}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes.toStdString());
        const PhoneBookFile file = readPhoneBookFile(row.bytes);
        EXPECT_EQ(file.entries.size(), row.entries);
        EXPECT_EQ(file.skipped, row.skipped);
    }
}

// Whatever the book holds comes back from either export exactly, and the vCard's lines stay
// within 75 octets without a character cut in two.
TEST(PhoneBookFile, ExportsReadBackExactly)
{
    const std::vector<PhoneBookEntry> entries = {
        entry("Smith, \"Jr.\"; 3rd", "スミス", "A\\B;C,D", {"03-1234-5678", "+81 90 1234 5678"},
              "1行目\n2行目, \"3\"; \\n", true),
        entry("", "", "", {"0120-444-444"}),
        entry("=HYPERLINK(\"x\")", "'quoted", "-1+2", {"+81 3-1234-5678", "+81312345678"}, "@SUM(1)"),
        entry("絵文字😀テスト", "えもじ", QString(60, u'長'), {"050 123 4567"},
              QString::fromUtf8("😀").repeated(40) + u'x'),
    };
    for (const QByteArray& bytes : {phoneBookCsv(entries), phoneBookVCard(entries)}) {
        SCOPED_TRACE(bytes.toStdString());
        const PhoneBookFile file = readPhoneBookFile(bytes);
        EXPECT_EQ(entriesOf(file), entries);
        EXPECT_TRUE(file.skipped.empty());
    }
    EXPECT_TRUE(phoneBookCsv(entries).startsWith("\xef\xbb\xbf名前,よみ,会社・部署,電話番号,メモ,迷惑\r\n"));
    EXPECT_TRUE(phoneBookCsv(entries).contains(
        "\r\n\"'=HYPERLINK(\"\"x\"\")\",'quoted,'-1+2,'+81 3-1234-5678;+81312345678,'@SUM(1),\r\n"));
    for (const QByteArray& line : phoneBookVCard(entries).split('\n')) {
        EXPECT_LE(line.size(), 76) << line.toStdString();
        EXPECT_EQ(QString::fromUtf8(line).toUtf8(), line);
    }
}

// An import merges by the normal form of a number, whatever notation the book and the file
// write it in; entries of one file sharing a number become one.
TEST(PhoneBookImport, MergesByNormalFormAndAddsTheRest)
{
    PhoneBookEntry yamada{7, "山田 太郎", "", "", {"03-1234-5678"}, "月末締め", false};
    PhoneBookEntry office{9, "", "", "", {"0120-444-444"}, "", false};
    const PhoneBookIndex book({yamada, office});
    PhoneBookFile file;
    file.entries = {
        {entry("ヤマダ", "やまだ", "山田商店", {"+81-3-1234-5678", "090 1111 2222"}, "月末締め"), 2},
        {entry("山田", "", "", {"０９０－１１１１－２２２２"}, "午前は不在", true), 3},
        {entry("受付", "うけつけ", "", {"0120444444"}), 4},
        {entry("新規", "", "", {"050-1234-5678"}), 5},
        {entry("", "", "新規商事", {"05012345678", "03 5555 0000"}, "代表"), 6},
        {entry("名前だけ", "", "", {}), 7},
    };
    file.skipped = {{8, "読めない行です"}};
    const ImportPlan plan = planImport(book, file);

    yamada.reading = "やまだ";
    yamada.company = "山田商店";
    yamada.numbers << "090 1111 2222";
    yamada.note = "月末締め\n午前は不在";
    yamada.nuisance = true;
    office.name = "受付";
    office.reading = "うけつけ";
    EXPECT_EQ(plan.merged, (std::vector<PhoneBookEntry>{yamada, office}));
    EXPECT_EQ(plan.added,
              (std::vector<PhoneBookEntry>{entry("新規", "", "新規商事", {"050-1234-5678", "03 5555 0000"}, "代表"),
                                           entry("名前だけ", "", "", {})}));
    EXPECT_EQ(plan.skipped, file.skipped);
    EXPECT_EQ(importReport(plan), QStringLiteral("追加 2件、統合 2件、スキップ 1件\n8行目: 読めない行です"));
}
