#include "calls/CallerNumber.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include <ostream>
#include <tuple>
#include <vector>

namespace {

using K = NumberKind;

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

void PrintTo(NumberKind kind, std::ostream* os)
{
    *os << "kind " << int(kind);
}

// Each number as the line (or a person) may write it: its kind, the digits it is matched by, the form it is shown in
// and its E.164 form. Examples from the numbering plan's own, and the edges: 0422 beside 042, 5-digit area codes, the
// ranges newer than the library's plan (060 and unassigned mobile blocks from the table of our own), 0180, 0570,
// "+81" and "0081", full-width digits, foreign numbers, reason codes, and what cannot be placed.
TEST(CallerNumber, KindNormalAndWrittenForms)
{
    // clang-format off
    struct Row { const char* sent; K kind; const char* normal; const char* written; const char* e164; };
    const std::vector<Row> rows = {
        {"0312345678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"0662123456", K::Fixed, "0662123456", "06-6212-3456", "+81662123456"},
        {"0471234567", K::Fixed, "0471234567", "04-7123-4567", "+81471234567"},
        {"0112345678", K::Fixed, "0112345678", "011-234-5678", "+81112345678"},
        {"0452123456", K::Fixed, "0452123456", "045-212-3456", "+81452123456"},
        {"0921234567", K::Fixed, "0921234567", "092-123-4567", "+81921234567"},
        {"0426221111", K::Fixed, "0426221111", "042-622-1111", "+81426221111"},
        {"0424812345", K::Fixed, "0424812345", "042-481-2345", "+81424812345"},
        {"0422512345", K::Fixed, "0422512345", "0422-51-2345", "+81422512345"},
        {"0422221111", K::Fixed, "0422221111", "0422-22-1111", "+81422221111"},
        {"0422401234", K::Fixed, "0422401234", "0422-40-1234", "+81422401234"},
        {"0479123456", K::Fixed, "0479123456", "047-912-3456", "+81479123456"},
        {"0476123456", K::Fixed, "0476123456", "0476-12-3456", "+81476123456"},
        {"0123456789", K::Fixed, "0123456789", "0123-45-6789", "+81123456789"},
        {"0280123456", K::Fixed, "0280123456", "0280-12-3456", "+81280123456"},
        {"0597912345", K::Fixed, "0597912345", "0597-91-2345", "+81597912345"},
        {"0992123456", K::Fixed, "0992123456", "099-212-3456", "+81992123456"},
        {"0996212345", K::Fixed, "0996212345", "0996-21-2345", "+81996212345"},
        {"0499212345", K::Fixed, "0499212345", "04992-1-2345", "+81499212345"},
        {"0126712345", K::Fixed, "0126712345", "01267-1-2345", "+81126712345"},
        {"0137221234", K::Fixed, "0137221234", "01372-2-1234", "+81137221234"},
        {"0145612345", K::Fixed, "0145612345", "01456-1-2345", "+81145612345"},
        {"09012345678", K::Mobile, "09012345678", "090-1234-5678", "+819012345678"},
        {"08012345678", K::Mobile, "08012345678", "080-1234-5678", "+818012345678"},
        {"07011112222", K::Mobile, "07011112222", "070-1111-2222", "+817011112222"},
        {"06012345678", K::Mobile, "06012345678", "060-1234-5678", "+816012345678"},
        {"09000000000", K::Mobile, "09000000000", "090-0000-0000", "+819000000000"},
        {"05012345678", K::Ip, "05012345678", "050-1234-5678", "+815012345678"},
        {"0120123456", K::FreeDial, "0120123456", "0120-123-456", "+81120123456"},
        {"0120444444", K::FreeDial, "0120444444", "0120-444-444", "+81120444444"},
        {"08001234567", K::FreeDial, "08001234567", "0800-123-4567", "+818001234567"},
        {"0570123456", K::NaviDial, "0570123456", "0570-123-456", "+81570123456"},
        {"0570000000", K::NaviDial, "0570000000", "0570-000-000", "+81570000000"},
        {"0990123456", K::Service, "0990123456", "0990-123-456", "+81990123456"},
        {"0180991234", K::Service, "0180991234", "0180-99-1234", "+81180991234"},
        {"02012345678", K::Service, "02012345678", "020-1234-5678", "+812012345678"},
        {"03-1234-5678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"(03) 1234-5678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"０３－１２３４－５６７８", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"０９０ー１２３４ー５６７８", K::Mobile, "09012345678", "090-1234-5678", "+819012345678"},
        {"03‐1234―5678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"+81312345678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"+81 3 1234 5678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"+81 (0)3-1234-5678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"＋８１　９０　１２３４　５６７８", K::Mobile, "09012345678", "090-1234-5678", "+819012345678"},
        {"0081312345678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"010 81 3 1234 5678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"+81-50-1234-5678", K::Ip, "05012345678", "050-1234-5678", "+815012345678"},
        {"+12125551234", K::International, "01012125551234", "+1 212-555-1234", "+12125551234"},
        {"0101212 555 1234", K::International, "01012125551234", "+1 212-555-1234", "+12125551234"},
        {"+44 20 7946 0958", K::International, "010442079460958", "+44 20 7946 0958", "+442079460958"},
        {"+8613812345678", K::International, "0108613812345678", "+86 138 1234 5678", "+8613812345678"},
        {"+999123", K::International, "010999123", "+999123", "+999123"},
        {"+81-10-1234", K::International, "01081101234", "+81 101234", "+81101234"}, // no national number begins 010
        {"P", K::Reason, "", "P", ""},
        {"O", K::Reason, "", "O", ""},
        {"C ", K::Reason, "", "C", ""},
        {"S", K::Reason, "", "S", ""},
        {"", K::Empty, "", "", ""},
        {"   ", K::Empty, "", "", ""},
        {"110", K::Unplaced, "110", "110", ""},
        {"0312", K::Unplaced, "0312", "0312", ""},
        {"0910123456", K::Unplaced, "0910123456", "0910123456", ""},
        {"031234567890123456789", K::Unplaced, "031234567890123456789", "031234567890123456789", ""},
        {"001012125551234", K::Unplaced, "001012125551234", "001012125551234", ""},
        {"p", K::Unplaced, "", "p", ""},
        {"PO", K::Unplaced, "", "PO", ""},
        {"ring0312345678", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
        {"03-1234-5678;x", K::Fixed, "0312345678", "03-1234-5678", "+81312345678"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sent);
        const CallerNumber number(s(row.sent));
        EXPECT_EQ(std::tuple(number.kind(), number.normal(), number.written(), number.e164(), number.sent()),
                  std::tuple(row.kind, QString(row.normal), s(row.written), QString(row.e164), s(row.sent)));
    }
}

// What people read: the written form, the reason's text, or that there was no number; a search fragment in the stored
// form, the letters of what holds no digit kept.
TEST(CallerNumber, ShownTextAndSearchFragments)
{
    const QStringList sent = {"P", "O", "C", "S", "", "0312345678", "0910123456"};
    QStringList shown;
    for (const QString& number : sent)
        shown << CallerNumber::shownOf(number);
    EXPECT_EQ(shown, QStringList({s("非通知"), s("表示圏外"), s("公衆電話"), s("サービス競合"), s("番号なし"),
                                  "03-1234-5678", "0910123456"}));
    EXPECT_EQ(QStringList({CallerNumber::searchFragment(s("+81 3 1234")), CallerNumber::searchFragment("03-12"),
                           CallerNumber::searchFragment(s("（０３）")), CallerNumber::searchFragment(s("Ｐ"))}),
              QStringList({"031234", "0312", "03", "P"}));
}

// 1,000 numbers of every kind the plan groups, each written six ways, give one normal form each: the raw digits.
TEST(CallerNumber, EveryNotationOfANumberGivesOneNormalForm)
{
    QRandomGenerator random(41);
    const QStringList prefixes = {"03", "06", "042", "0422", "011", "04992", "090", "080", "070", "060", "050", "0120"};
    const auto fullWidth = [](const QString& text) {
        QString wide;
        for (const QChar c : text)
            wide += c.isDigit() ? QChar(u'０' + (c.unicode() - u'0')) : c == u'-' ? QChar(u'－') : c;
        return wide;
    };
    for (int i = 0; i < 1000; ++i) {
        const QString prefix = prefixes.at(i % prefixes.size());
        QString digits = prefix;
        const int length = prefix.startsWith("0120") ? 10 : prefix.size() == 3 && prefix.endsWith(u'0') ? 11 : 10;
        digits += QChar(u'2' + random.bounded(8)); // no local number begins with 0 or 1
        while (digits.size() < length)
            digits += QChar(u'0' + random.bounded(10));
        // The written form, or the area code set apart where the plan has no such number.
        const CallerNumber placed(digits);
        const QString hyphens =
            placed.e164().isEmpty() ? prefix + u'-' + digits.sliced(prefix.size()) : placed.written();
        const QString national = digits.sliced(1);
        const QStringList notations = {digits,
                                       hyphens,
                                       "+81 " + QString(national).replace(u'-', u' '),
                                       "0081-" + national,
                                       fullWidth(hyphens),
                                       "+81 (0)" + national};
        for (const QString& notation : notations)
            ASSERT_EQ(CallerNumber::normalForm(notation), digits) << notation.toStdString();
    }
}
