#include "link/ReceiveAssembler.h"

#include "link/Cp932.h"

#include <gtest/gtest.h>

namespace {

using Framing = ReceiveAssembler::Framing;

QList<QByteArray> feedAll(ReceiveAssembler& assembler, const QList<QByteArray>& events, Framing framing)
{
    QList<QByteArray> units;
    for (const QByteArray& event : events)
        units += assembler.feed(event, framing);
    return units;
}

} // namespace

// Framing, one row a rule: the reads, the lines or frames they complete, and what is left (a drop shows it).
TEST(ReceiveAssembler, FramingRules)
{
    const QByteArray name = toCp932(QStringLiteral("着信0312345678"));
    const Framing L = Framing::Line;
    const Framing C = Framing::ControlCode;
    // clang-format off
    struct Row { const char* what; Framing framing; QList<QByteArray> reads; QList<QByteArray> units; QByteArray pending; };
    const Row rows[] = {
        {"a line split over two reads; LF dropped", L, {"ABC", "DE\r\n"}, {"ABCDE"}, ""},
        {"empty lines are never handed on", L, {"\r\rX\r"}, {"X"}, ""},
        {"control characters inside a line are dropped", L, {"A\tB\x01\r"}, {"AB"}, ""},
        {"two lines in one read, in order", L, {"first\rsecond\r"}, {"first", "second"}, ""},
        {"a double-byte character split between reads", L, {name.left(1), name.mid(1) + "\r"}, {name}, ""},
        {"one stray byte waits", L, {"x"}, {}, "x"},
        {"a burst of garbage without CR waits without its control bytes", L, {"\x01#%&garbage"}, {}, "#%&garbage"},
        {"bytes before STX and after ETX are discarded", C, {"xy\x02" "1234\x03z"}, {"1234"}, ""},
        {"what follows ETX in the same read does not reach the next frame", C, {"\x02" "12\x03z", "34\x03"}, {"12", "34"}, ""},
        {"an empty frame hands nothing on", C, {"\x02\x03"}, {}, ""},
        {"a frame split over two reads", C, {"\x02" "12", "34\x03"}, {"1234"}, ""},
        {"an unfinished frame waits without its STX", C, {"\x02" "12"}, {}, "12"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ReceiveAssembler assembler;
        EXPECT_EQ(feedAll(assembler, row.reads, row.framing), row.units);
        EXPECT_EQ(assembler.pending(), row.pending);
    }
}

// A line that never ends keeps its first 64 KiB, the rest up to its CR is dropped, the next starts clean.
TEST(ReceiveAssembler, OverlongLineIsCutAtTheCapUntilItsTerminator)
{
    ReceiveAssembler assembler;
    const QByteArray head(ReceiveAssembler::kMaxLineBytes, 'a');
    const auto units = feedAll(assembler, {head, QByteArray(5000, 'b'), "bbb\rnext\r"}, Framing::Line);
    ASSERT_EQ(units.size(), 2);
    EXPECT_EQ(units[0], head);
    EXPECT_EQ(units[1], "next");
}

// The same cap holds between STX and ETX, and a new STX starts a fresh frame.
TEST(ReceiveAssembler, OverlongFrameIsCutAndStxStartsAfresh)
{
    ReceiveAssembler assembler;
    const QByteArray big(ReceiveAssembler::kMaxLineBytes + 10, 'x');
    auto units = feedAll(assembler, {"\x02" + big, "yy\x03"}, Framing::ControlCode);
    ASSERT_EQ(units.size(), 1);
    EXPECT_EQ(units[0], big.left(ReceiveAssembler::kMaxLineBytes));
    units = feedAll(assembler, {QByteArray(10, 'z'), "\x02ok\x03"}, Framing::ControlCode);
    EXPECT_EQ(units, QList<QByteArray>{"ok"});
}

// Bytes of any value above the control range are kept as they are (CP932 trail bytes).
TEST(ReceiveAssembler, HighBytesAndDeleteAreKeptInLines)
{
    ReceiveAssembler assembler;
    const QByteArray line = "\x92\x85\x90\x4d\x7f\xff";
    EXPECT_EQ(assembler.feed(QByteArray(line + "\r"), Framing::Line), QList<QByteArray>{line});
}

// A partial line survives between events until clear() forgets it.
TEST(ReceiveAssembler, ClearForgetsThePartialLine)
{
    ReceiveAssembler assembler;
    EXPECT_TRUE(assembler.feed("par", Framing::Line).isEmpty());
    EXPECT_EQ(assembler.pending(), "par");
    assembler.clear();
    EXPECT_EQ(assembler.feed("tial\r", Framing::Line), QList<QByteArray>{"tial"});
}
