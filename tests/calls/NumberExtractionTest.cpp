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

// clang-format off
struct Row { const char* line; const char* ring; std::optional<const char*> number; }; // none: no delimiter found
// clang-format on

std::optional<QString> expected(const Row& row)
{
    return row.number ? std::optional<QString>(s(*row.number)) : std::nullopt;
}

} // namespace

// ISDN: ring removed everywhere as spelled, the three delimiters read as a space, the number ends at the first space.
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

// Other line-framed adapters: everything before the first ":" once ring is removed, spaces and delimiters kept.
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

// Control-code frames: characters 10 to 29 trimmed of spaces only; never the header, never past a short frame's end.
TEST(NumberExtraction, T1Rule)
{
    const QString header = QStringLiteral("123456789");
    // clang-format off
    struct T1Row { QString frame; QString number; };
    const std::vector<T1Row> rows = {
        {header + "          0312345678", "0312345678"},
        {header + "0312345678          ", "0312345678"},
        {header + " 03-1234-5678 (ext) ", "03-1234-5678 (ext)"},
        {header + "\t0312345678         ", "\t0312345678"},
        {header + QString(20, u' '), ""},
        {header + "0312", "0312"},
        {header, ""},
        {"12", ""},
        {header + QString(20, u'9') + "EXTRA", QString(20, u'9')},
    };
    // clang-format on
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
