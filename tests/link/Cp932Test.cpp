// The adapter's bytes as text: Windows' CP932 table, which every adapter tool was written for.

#include "link/Cp932.h"

#include <gtest/gtest.h>

TEST(Cp932, EveryByteBelow0x80IsItsOwnCodePointBothWays)
{
    for (int byte = 0; byte < 0x80; ++byte) {
        const char c = static_cast<char>(byte);
        const QString text = fromCp932(QByteArrayView(&c, 1));
        ASSERT_EQ(text, QString(QChar(byte))) << "byte " << byte;
        ASSERT_EQ(toCp932(text), QByteArray(1, c)) << "byte " << byte;
    }
}

TEST(Cp932, TextBeyondAscii)
{
    // clang-format off
    struct Case { QString text; QByteArray bytes; };
    const Case cases[] = {
        {QStringLiteral("着信"), QByteArray("\x92\x85\x90\x4d")},
        {QStringLiteral("ｱ"), QByteArray("\xb1")},                    // half-width katakana, one byte
        {QStringLiteral("～"), QByteArray("\x81\x60")},               // Windows' wave dash
        {QStringLiteral("a\u00e9b"), QByteArray("a?b")},              // no code in CP932
        {QStringLiteral("\U0001F4DE1"), QByteArray("?1")},            // one '?' for a surrogate pair
        {QStringLiteral("\u00e9\u00e9着"), QByteArray("??\x92\x85")}, // the encoder recovers
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(toCp932(c.text), c.bytes) << c.text.toStdString();
        if (!c.bytes.contains('?')) {
            EXPECT_EQ(fromCp932(c.bytes), c.text) << c.text.toStdString();
        }
    }
}

TEST(Cp932, ACharacterSplitBetweenReadsComesOutWhole)
{
    Cp932Decoder decoder;
    EXPECT_EQ(decoder.decode("A\x92"), QStringLiteral("A"));
    EXPECT_EQ(decoder.decode("\x85\x1a"), QStringLiteral("着\x1a"));
}
