#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

/// Line parameters of the serial port, from the `Settings` text "9600,n,8,1".
struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

/// A parsed setting, or a description for the user of what was wrong with the text.
template<typename T> struct ParsedSetting
{
    std::optional<T> value;
    QString error;
};

/// "baud,parity,data,stop": baud a positive decimal, parity one of n e o m s (either case),
/// data bits 5 to 8, stop bits 1, 1.5 or 2. Blanks around a field are allowed.
ParsedSetting<LineSettings> parseLineSettings(const QString& text);

/// The `Handshaking` code 0 to 3: none, XON/XOFF, RTS/CTS, RTS/CTS with XON/XOFF.
ParsedSetting<QSerialPort::FlowControl> parseHandshaking(const QString& text);
