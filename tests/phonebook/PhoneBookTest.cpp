#include "phonebook/PhoneBook.h"

#include "history/SqliteHistoryStore.h"
#include "phonebook/PhoneBookDatabase.h"
#include "phonebook/PhoneBookIndex.h"
#include "phonebook/PhoneBookStore.h"
#include "support/ProcessEventsUntil.h"
#include "support/QStringPrinter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A national number's groups, and the six ways people type it.
struct Typed
{
    QString area, middle, last;

    QString digits() const { return area + middle + last; }
    QString way(int way) const
    {
        const QString rest = area.mid(1);
        switch (way % 6) {
        case 0:
            return digits();
        case 1:
            return area + u'-' + middle + u'-' + last;
        case 2:
            return "+81 " + rest + u' ' + middle + u' ' + last;
        case 3:
            return "0081-" + rest + u'-' + middle + u'-' + last;
        case 4: { // full-width digits and hyphens
            QString wide = area + u'－' + middle + u'－' + last;
            for (QChar& c : wide)
                if (c.isDigit())
                    c = QChar(c.unicode() - u'0' + 0xFF10);
            return wide;
        }
        default:
            return u'(' + area + ") " + middle + u'-' + last;
        }
    }
};

Typed numberOf(int i)
{
    static const QStringList areas = {"03", "06", "045", "0422", "090", "080", "050", "0120", "011", "092"};
    const QString area = areas[i % areas.size()];
    const int middleLength = area.size() == 2   ? 4
                             : area.size() == 3 ? (area.startsWith("0") && area != "045" ? 4 : 3)
                                                : 2;
    const int lastLength = area == "0120" ? 3 : 4;
    const QString digits = QString::number(10000000 + i * 7919).right(middleLength + lastLength);
    return {area, digits.left(middleLength), digits.mid(middleLength)};
}

std::vector<PhoneBookEntry> book(int count)
{
    std::vector<PhoneBookEntry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({i + 1,
                           QStringLiteral("顧客%1").arg(i),
                           QStringLiteral("こきゃく%1").arg(i),
                           {},
                           {numberOf(i).way(i)},
                           {},
                           false});
    return entries;
}

QString sqliteHistory(const QTemporaryDir& dir)
{
    const QString path = dir.filePath("history.db");
    QString error;
    EXPECT_TRUE(createHistoryDatabase(path, &error, PhoneBookDatabase::createStatements(false))) << error.toStdString();
    return path;
}

bool readyWith(const PhoneBook& book, const QString& number, const QString& name)
{
    const std::optional<Caller> caller = book.callerOf(number);
    return caller && caller->listed && caller->name == name;
}

} // namespace

// Numbers typed six ways are each found from the digits the line sends, never under another entry's name; what is not
// a number finds nothing, and a number two entries hold finds the first stored until it leaves.
TEST(PhoneBookIndex, FindsEveryNotationAndNoWrongName)
{
    PhoneBookIndex index(book(1000));
    int found = 0, wrong = 0;
    for (int i = 0; i < 1000; ++i) {
        const PhoneBookEntry* entry = index.find(numberOf(i).digits());
        found += entry != nullptr;
        wrong += entry && entry->name != QStringLiteral("顧客%1").arg(i);
    }
    EXPECT_EQ(std::pair(found, wrong), std::pair(1000, 0));
    EXPECT_EQ(index.find("0399999999"), nullptr);
    for (const char* nothing : {"", "P", "O", "-"})
        EXPECT_EQ(index.find(nothing), nullptr) << nothing;

    index.put({5000, "後から", "", "", {numberOf(3).way(1)}, "", false});
    EXPECT_EQ(index.find(numberOf(3).digits())->id, 4);
    index.remove(4);
    EXPECT_EQ(index.find(numberOf(3).digits())->id, 5000);
    index.put({5000, "後から", "", "", {"0311110000"}, "", false});
    EXPECT_EQ(index.find(numberOf(3).digits()), nullptr);

    const auto names = [&](const QString& text) {
        QStringList found;
        for (const PhoneBookEntry* entry : index.search(text))
            found << entry->name;
        return found;
    };
    EXPECT_EQ(names("コキャク12"), names("こきゃく12"));
    EXPECT_EQ(names("コキャク").size(), 999); // one of them left above
    EXPECT_EQ(names(numberOf(7).way(4)), QStringList{"顧客7"});
}

// On a file: the book is read, edits and imports reach the copy once committed, and a history without the table has
// no book, so calls are shown without names.
TEST(PhoneBook, OnAFile)
{
    QTemporaryDir dir;
    const QString path = sqliteHistory(dir);
    PhoneBookStore seed(path);
    ASSERT_TRUE(seed.save({0, "山田", "やまだ", "", {"03-1234-5678"}, "", false})) << seed.lastError().toStdString();

    PhoneBook phoneBook;
    phoneBook.open(path);
    ASSERT_TRUE(processEventsUntil([&] { return phoneBook.status() == PhoneBook::Status::Ready; }, 5s));
    EXPECT_TRUE(readyWith(phoneBook, "0312345678", "山田"));
    EXPECT_EQ(phoneBook.callerOf("0300000000"), Caller{});

    bool saved = false;
    phoneBook.save({0, "鈴木", "", "", {"+81 90 1111 2222"}, "", false},
                   [&](qint64 id, const QString& error) { saved = id != 0 && error.isEmpty(); });
    ASSERT_TRUE(processEventsUntil([&] { return saved; }, 5s));
    EXPECT_TRUE(readyWith(phoneBook, "09011112222", "鈴木"));
    const qint64 suzuki = phoneBook.index().find("09011112222")->id;
    phoneBook.setNuisance(suzuki, true);
    ASSERT_TRUE(processEventsUntil([&] { return phoneBook.callerOf("09011112222")->nuisance; }, 5s));

    QString importError = "not yet";
    PhoneBookFile file;
    file.entries = {{{0, "", "", "", {"090-1111-2222"}, "折り返し不要", false}, 2},
                    {{0, "佐藤", "", "", {"06-1111-2222"}, "", false}, 3}};
    file.skipped = {{4, "読めない行です"}};
    ImportPlan plan;
    phoneBook.import(file, [&](const ImportPlan& done, const QString& error) {
        plan = done;
        importError = error;
    });
    ASSERT_TRUE(processEventsUntil([&] { return importError != "not yet"; }, 5s));
    EXPECT_EQ(importError, "");
    EXPECT_EQ(std::tuple(plan.added.size(), plan.merged.size(), plan.skipped.size()), std::tuple(1u, 1u, 1u));
    EXPECT_TRUE(readyWith(phoneBook, "0611112222", "佐藤"));
    EXPECT_EQ(phoneBook.index().entry(suzuki)->note, "折り返し不要");
    EXPECT_EQ(PhoneBookStore(path).all()->size(), 3u);

    phoneBook.remove(suzuki);
    ASSERT_TRUE(processEventsUntil([&] { return !phoneBook.callerOf("09011112222")->listed; }, 5s));

    QTemporaryDir bare;
    const QString old = bare.filePath("old.db");
    ASSERT_TRUE(createHistoryDatabase(old));
    PhoneBook none;
    none.open(old);
    ASSERT_TRUE(processEventsUntil([&] { return none.status() == PhoneBook::Status::Off; }, 5s));
    EXPECT_EQ(none.callerOf("0312345678"), std::nullopt);
}
