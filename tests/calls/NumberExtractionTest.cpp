#include "calls/NumberExtraction.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

QString s(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct Row
{
    const char* line;
    const char* ring;
    std::optional<const char*> number; // no value: the rule finds no delimiter
};

std::optional<QString> expected(const Row& row)
{
    return row.number ? std::optional<QString>(s(*row.number)) : std::nullopt;
}

} // namespace

// ISDN notifications: ring removed everywhere and exactly as spelled, the three delimiters
// read as a space, the number ends at the first space.
TEST(NumberExtraction, IsdnRule)
{
    const std::vector<Row> rows = {
        {"RING0312345678;X", "RING", "0312345678"},
        {"RING0312345678/X", "RING", "0312345678"},
        {"RING0312345678+X", "RING", "0312345678"},
        {"RING0312345678 X", "RING", "0312345678"},
        {"RING0312;345/678", "RING", "0312"},
        {"RING 0312345678", "RING", ""},
        {"RING;0312345678", "RING", ""},
        {"ring0312345678;X", "RING", "ring0312345678"},
        {"RING031RING2345678;X", "RING", "0312345678"},
        {"RING0312345678", "RING", std::nullopt},
        {"RING", "RING", std::nullopt},
        {"NMBR=0312345678;CLI", "NMBR=", "0312345678"},
        {"番号０３１２ 着信", "番号", "０３１２"},
        {"0312 X", "", "0312"},
        {"0312", "", std::nullopt},
        {"", "", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(NumberExtraction::isdnNumber(s(row.line), s(row.ring)), expected(row));
    }
}

// Other line-framed adapters: the number is everything before the first ":" once ring is
// removed; spaces and other delimiters stay in it.
TEST(NumberExtraction, AnalogRule)
{
    const std::vector<Row> rows = {
        {"CALL0312345678:1", "CALL", "0312345678"},
        {"CALL03 1234 5678:1:2", "CALL", "03 1234 5678"},
        {"CALL:1", "CALL", ""},
        {"call0312:1", "CALL", "call0312"},
        {"CALL03CALL12:CALL", "CALL", "0312"},
        {"CALL0312;5678", "CALL", std::nullopt},
        {"CALL", "CALL", std::nullopt},
        {"0312:1", "", "0312"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(NumberExtraction::analogNumber(s(row.line), s(row.ring)), expected(row));
    }
}

// Control-code frames: characters 10 to 29, trimmed of spaces only; the header is never
// part of the number, and frames of other lengths cannot read past their end.
TEST(NumberExtraction, T1Rule)
{
    struct T1Row
    {
        QString frame;
        QString number;
    };
    const QString header = QStringLiteral("123456789");
    const std::vector<T1Row> rows = {
        {header + QStringLiteral("          0312345678"), QStringLiteral("0312345678")},
        {header + QStringLiteral("0312345678          "), QStringLiteral("0312345678")},
        {header + QStringLiteral(" 03-1234-5678 (ext) "), QStringLiteral("03-1234-5678 (ext)")},
        {header + QStringLiteral("\t0312345678         "), QStringLiteral("\t0312345678")},
        {header + QString(20, u' '), QString()},
        {header + QStringLiteral("0312"), QStringLiteral("0312")},
        {header, QString()},
        {QStringLiteral("12"), QString()},
        {header + QString(20, u'9') + QStringLiteral("EXTRA"), QString(20, u'9')},
    };
    for (const T1Row& row : rows) {
        SCOPED_TRACE(row.frame.toStdString());
        EXPECT_EQ(NumberExtraction::t1Number(row.frame), row.number);
    }
}

// Removing an empty part is a no-op rather than a loop or a change of the text.
TEST(NumberExtraction, RemoveEveryWithEmptyPart)
{
    EXPECT_EQ(NumberExtraction::removeEvery(QStringLiteral("RINGRING"), QString()), QStringLiteral("RINGRING"));
    EXPECT_EQ(NumberExtraction::removeEvery(QStringLiteral("RINGRING"), QStringLiteral("")),
              QStringLiteral("RINGRING"));
    EXPECT_EQ(NumberExtraction::removeEvery(QStringLiteral("RRINGING"), QStringLiteral("RING")),
              QStringLiteral("RING"));
}
