#include "link/LineSettings.h"

#include <gtest/gtest.h>

// Every accepted form of the settings text, field by field.
TEST(LineSettings, AcceptedTexts)
{
    // clang-format off
    struct Row { const char* text; qint32 baud; QSerialPort::Parity parity; QSerialPort::DataBits dataBits; QSerialPort::StopBits stopBits; };
    const Row rows[] = {
        {"9600,n,8,1", 9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop},
        {"19200,E,7,2", 19200, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop},
        {"1200, o ,5,1.5", 1200, QSerialPort::OddParity, QSerialPort::Data5, QSerialPort::OneAndHalfStop},
        {"115200,M,6,1", 115200, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop},
        {"300,s,8,2", 300, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::TwoStop},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = parseLineSettings(QString::fromUtf8(row.text));
        ASSERT_TRUE(parsed.value.has_value()) << parsed.error.toStdString();
        EXPECT_TRUE(parsed.error.isEmpty());
        EXPECT_EQ(parsed.value->baudRate, row.baud);
        EXPECT_EQ(parsed.value->parity, row.parity);
        EXPECT_EQ(parsed.value->dataBits, row.dataBits);
        EXPECT_EQ(parsed.value->stopBits, row.stopBits);
    }
}

// A rejected text yields no settings and a message naming what was wrong.
TEST(LineSettings, RejectedTextsNameTheFault)
{
    // clang-format off
    struct Row { const char* text; const char* mentions; };
    const Row rows[] = {
        {"", "形式"},
        {"9600", "形式"},
        {"9600,n,8", "形式"},
        {"9600,n,8,1,1", "形式"},
        {"abc,n,8,1", "ボーレート「abc」"},
        {"0,n,8,1", "ボーレート「0」"},
        {"-9600,n,8,1", "ボーレート「-9600」"},
        {"99999999999,n,8,1", "ボーレート"},
        {"9600,x,8,1", "パリティ「x」"},
        {"9600,no,8,1", "パリティ「no」"},
        {"9600,,8,1", "パリティ「」"},
        {"9600,n,9,1", "データビット「9」"},
        {"9600,n,4,1", "データビット「4」"},
        {"9600,n,8,3", "ストップビット「3」"},
        {"9600,n,8,1.0", "ストップビット「1.0」"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = parseLineSettings(QString::fromUtf8(row.text));
        EXPECT_FALSE(parsed.value.has_value());
        EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(row.mentions))) << parsed.error.toStdString();
    }
}

// Handshaking codes 0-3 map to flow control; anything else is rejected with a message.
TEST(LineSettings, HandshakingCodes)
{
    const std::pair<const char*, std::optional<QSerialPort::FlowControl>> rows[] = {
        {"0", QSerialPort::NoFlowControl},
        {"1", QSerialPort::SoftwareControl},
        {"2", QSerialPort::HardwareControl},
        {"3", QSerialPort::HardwareControl},
        {" 2 ", QSerialPort::HardwareControl},
        {"4", std::nullopt},
        {"-1", std::nullopt},
        {"x", std::nullopt},
        {"1.5", std::nullopt},
    };
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        const auto parsed = parseHandshaking(QString::fromUtf8(text));
        EXPECT_EQ(parsed.value, expected);
        EXPECT_EQ(parsed.error.isEmpty(), expected.has_value());
    }
}
