#include "PhoneBookSamples.h"

#include "calls/CallerNumber.h"
#include "history/HistoryDatabase.h"
#include "history/PostgresUri.h"
#include "phonebook/PhoneBookDatabase.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <chrono>

namespace {

struct Spelled
{
    const char16_t* written;
    const char16_t* reading;
};

const Spelled kFamilyNames[] = {
    {u"佐藤", u"さとう"},     {u"鈴木", u"すずき"},     {u"高橋", u"たかはし"},   {u"田中", u"たなか"},
    {u"伊藤", u"いとう"},     {u"渡辺", u"わたなべ"},   {u"山本", u"やまもと"},   {u"中村", u"なかむら"},
    {u"小林", u"こばやし"},   {u"加藤", u"かとう"},     {u"吉田", u"よしだ"},     {u"山田", u"やまだ"},
    {u"佐々木", u"ささき"},   {u"山口", u"やまぐち"},   {u"松本", u"まつもと"},   {u"井上", u"いのうえ"},
    {u"木村", u"きむら"},     {u"林", u"はやし"},       {u"斎藤", u"さいとう"},   {u"清水", u"しみず"},
    {u"山崎", u"やまざき"},   {u"森", u"もり"},         {u"池田", u"いけだ"},     {u"橋本", u"はしもと"},
    {u"阿部", u"あべ"},       {u"石川", u"いしかわ"},   {u"山下", u"やました"},   {u"中島", u"なかじま"},
    {u"小川", u"おがわ"},     {u"前田", u"まえだ"},     {u"長谷川", u"はせがわ"}, {u"藤原", u"ふじわら"},
    {u"東海林", u"しょうじ"}, {u"五十嵐", u"いがらし"}, {u"服部", u"はっとり"},   {u"渡邉", u"わたなべ"},
};

const Spelled kGivenNames[] = {
    {u"太郎", u"たろう"},   {u"花子", u"はなこ"},   {u"一郎", u"いちろう"}, {u"健", u"けん"},
    {u"翔太", u"しょうた"}, {u"美咲", u"みさき"},   {u"陽菜", u"ひな"},     {u"大輔", u"だいすけ"},
    {u"由美子", u"ゆみこ"}, {u"誠", u"まこと"},     {u"直樹", u"なおき"},   {u"恵", u"めぐみ"},
    {u"蓮", u"れん"},       {u"結衣", u"ゆい"},     {u"浩二", u"こうじ"},   {u"さくら", u"さくら"},
    {u"拓也", u"たくや"},   {u"真由美", u"まゆみ"}, {u"隆", u"たかし"},     {u"愛", u"あい"},
    {u"修", u"おさむ"},     {u"智子", u"ともこ"},   {u"悠斗", u"ゆうと"},   {u"千尋", u"ちひろ"},
};

const char16_t* const kCompanies[] = {u"山田商事", u"東京物産", u"みなと運輸",       u"さくら不動産", u"ひかり電機",
                                      u"北斗工業", u"青葉建設", u"Ａｃｍｅジャパン", u"日本データ",   u"中央食品"};
const char16_t* const kDepartments[] = {u"", u"営業部", u"総務部", u"経理課", u"購買部", u"第二営業課", u"本社"};
const char16_t* const kNotes[] = {u"折り返し希望",   u"午前中は不在", u"担当: 鈴木",
                                  u"請求書は郵送で", u"内線 215",     u"代表番号"};

QString digits(QRandomGenerator& random, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar(u'0' + random.bounded(10));
    return text;
}

QString fullWidth(const QString& text)
{
    QString wide;
    for (const QChar c : text) {
        if (c.isDigit())
            wide += QChar(u'０' + (c.unicode() - u'0'));
        else if (c == u'-')
            wide += QChar(u'－');
        else
            wide += c;
    }
    return wide;
}

// A subscriber number never begins with 0 or 1.
QString local(QRandomGenerator& random, int count)
{
    return QChar(u'2' + random.bounded(8)) + digits(random, count - 1);
}

// One number in one of the notations people type.
QString writtenNumber(QRandomGenerator& random)
{
    switch (random.bounded(8)) {
    case 0:
        return QStringLiteral("03-%1-%2").arg(local(random, 4), digits(random, 4));
    case 1:
        return QStringLiteral("+81 90 %1 %2").arg(local(random, 4), digits(random, 4));
    case 2:
        return QStringLiteral("0120-%1-%2").arg(digits(random, 3), digits(random, 3));
    case 3:
        return fullWidth(QStringLiteral("06-%1-%2").arg(local(random, 4), digits(random, 4)));
    case 4:
        return QStringLiteral("(045) %1-%2").arg(local(random, 3), digits(random, 4));
    case 5:
        return QStringLiteral("080-%1-%2").arg(local(random, 4), digits(random, 4));
    case 6:
        return QStringLiteral("0422-%1-%2").arg(local(random, 2), digits(random, 4));
    default:
        return QStringLiteral("011%1").arg(local(random, 7));
    }
}

// An empty text bound as itself: a null QString binds NULL, which the columns refuse.
QString bound(const QString& value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

} // namespace

std::vector<PhoneBookEntry> samplePhoneBook(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    QSet<QString> taken;
    taken.reserve(qsizetype(count) * 2);
    std::vector<PhoneBookEntry> book;
    book.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const Spelled& family = kFamilyNames[random.bounded(int(std::size(kFamilyNames)))];
        const Spelled& given = kGivenNames[random.bounded(int(std::size(kGivenNames)))];
        PhoneBookEntry entry;
        entry.id = i + 1;
        entry.name = QString::fromUtf16(family.written) + u' ' + QString::fromUtf16(given.written);
        entry.reading = QString::fromUtf16(family.reading) + u' ' + QString::fromUtf16(given.reading);
        // Some readings were typed in katakana.
        if (random.bounded(5) == 0) {
            for (QChar& c : entry.reading) {
                if (c.unicode() >= 0x3041 && c.unicode() <= 0x3096)
                    c = QChar(c.unicode() + 0x60);
            }
        }
        if (random.bounded(10) < 3) {
            entry.company =
                QStringLiteral("株式会社") + QString::fromUtf16(kCompanies[random.bounded(int(std::size(kCompanies)))]);
            const QString department = QString::fromUtf16(kDepartments[random.bounded(int(std::size(kDepartments)))]);
            if (!department.isEmpty())
                entry.company += u' ' + department;
        }
        if (random.bounded(10) == 0)
            entry.note = QString::fromUtf16(kNotes[random.bounded(int(std::size(kNotes)))]);
        entry.nuisance = random.bounded(100) == 0;
        const int numbers = 1 + random.bounded(3);
        while (entry.numbers.size() < numbers) {
            const QString number = writtenNumber(random);
            const QString key = CallerNumber::normalForm(number);
            if (key.startsWith(QLatin1String("0300")) || taken.contains(key))
                continue;
            taken.insert(key);
            entry.numbers << number;
        }
        book.push_back(std::move(entry));
    }
    return book;
}

QStringList unlistedNumbers(const std::vector<PhoneBookEntry>& book, int count, quint32 seed)
{
    QSet<QString> listed;
    for (const PhoneBookEntry& entry : book) {
        for (const QString& number : entry.numbers)
            listed.insert(CallerNumber::normalForm(number));
    }
    QRandomGenerator random(seed);
    QStringList numbers;
    while (numbers.size() < count) {
        const QString number = CallerNumber::normalForm(writtenNumber(random));
        if (!listed.contains(number))
            numbers << number;
    }
    return numbers;
}

QString writePhoneBook(const QString& target, const std::vector<PhoneBookEntry>& entries, bool createTable)
{
    const bool onServer = isPostgresUri(target);
    const QString name = QStringLiteral("bench phone book writer");
    QString error;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(onServer ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name);
        const bool configured = onServer ? HistoryDatabase::configurePostgresConnection(db, target, error)
                                         : HistoryDatabase::configureSqliteConnection(db, target, QStringLiteral("rw"),
                                                                                      std::chrono::seconds(10), error);
        if (configured && !db.open())
            error = db.lastError().text();
        if (error.isEmpty()) {
            QSqlQuery query(db);
            const auto fail = [&] {
                error = query.lastError().text();
                return false;
            };
            const auto write = [&] {
                if (!db.transaction())
                    return fail();
                if (createTable) {
                    for (const QString& statement : PhoneBookDatabase::createStatements(onServer)) {
                        if (!query.exec(statement))
                            return fail();
                    }
                }
                if (!query.prepare(PhoneBookDatabase::insertStatement(onServer)))
                    return fail();
                for (const PhoneBookEntry& entry : entries) {
                    query.addBindValue(bound(entry.name));
                    query.addBindValue(bound(entry.reading));
                    query.addBindValue(bound(entry.company));
                    query.addBindValue(bound(PhoneBookDatabase::numbersText(entry.numbers)));
                    query.addBindValue(bound(entry.note));
                    query.addBindValue(entry.nuisance);
                    if (!query.exec())
                        return fail();
                }
                return db.commit() || fail();
            };
            if (!write()) {
                db.rollback();
                if (error.isEmpty())
                    error = db.lastError().text();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}
