#include "link/ReceiveAssembler.h"

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

// A line that never ends must not grow without bound: it keeps its first 64 KiB, the rest up
// to its CR is dropped, and the next line starts clean.
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
