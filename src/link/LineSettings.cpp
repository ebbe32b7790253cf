#include "link/LineSettings.h"

#include <QStringList>

#include <limits>

namespace {

std::optional<qint64> decimal(const QString& text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return text.toLongLong();
}

QString fieldError(const QString& text, const char* what, const QString& field, const char* allowed)
{
    return QStringLiteral("通信設定「%1」の%2「%3」が正しくありません（%4）。")
        .arg(text, QString::fromUtf8(what), field, QString::fromUtf8(allowed));
}

} // namespace

ParsedSetting<LineSettings> parseLineSettings(const QString& text)
{
    ParsedSetting<LineSettings> result;
    QStringList fields = text.split(u',');
    if (fields.size() != 4) {
        result.error =
            QStringLiteral("通信設定「%1」は「ボーレート,パリティ,データビット,ストップビット」の形式ではありません。")
                .arg(text);
        return result;
    }
    for (QString& field : fields)
        field = field.trimmed();

    LineSettings settings;
    const auto baud = decimal(fields[0]);
    if (!baud || *baud <= 0 || *baud > std::numeric_limits<qint32>::max()) {
        result.error = fieldError(text, "ボーレート", fields[0], "正の整数");
        return result;
    }
    settings.baudRate = static_cast<qint32>(*baud);

    const QString parity = fields[1].toLower();
    if (parity == u"n") {
        settings.parity = QSerialPort::NoParity;
    } else if (parity == u"e") {
        settings.parity = QSerialPort::EvenParity;
    } else if (parity == u"o") {
        settings.parity = QSerialPort::OddParity;
    } else if (parity == u"m") {
        settings.parity = QSerialPort::MarkParity;
    } else if (parity == u"s") {
        settings.parity = QSerialPort::SpaceParity;
    } else {
        result.error = fieldError(text, "パリティ", fields[1], "n, e, o, m, s のいずれか");
        return result;
    }

    const auto dataBits = decimal(fields[2]);
    if (!dataBits || *dataBits < 5 || *dataBits > 8) {
        result.error = fieldError(text, "データビット", fields[2], "5～8");
        return result;
    }
    settings.dataBits = static_cast<QSerialPort::DataBits>(*dataBits);

    if (fields[3] == u"1") {
        settings.stopBits = QSerialPort::OneStop;
    } else if (fields[3] == u"1.5") {
        settings.stopBits = QSerialPort::OneAndHalfStop;
    } else if (fields[3] == u"2") {
        settings.stopBits = QSerialPort::TwoStop;
    } else {
        result.error = fieldError(text, "ストップビット", fields[3], "1, 1.5, 2 のいずれか");
        return result;
    }

    result.value = settings;
    return result;
}

ParsedSetting<QSerialPort::FlowControl> parseHandshaking(const QString& text)
{
    ParsedSetting<QSerialPort::FlowControl> result;
    switch (decimal(text.trimmed()).value_or(-1)) {
    case 0:
        result.value = QSerialPort::NoFlowControl;
        break;
    case 1:
        result.value = QSerialPort::SoftwareControl;
        break;
    case 2:
        result.value = QSerialPort::HardwareControl;
        break;
    case 3:
        // RTS/CTS together with XON/XOFF has no equivalent here; the hardware lines are the
        // part an adapter depends on, so they win.
        result.value = QSerialPort::HardwareControl;
        break;
    default:
        result.error = QStringLiteral("ハンドシェイク「%1」が正しくありません（0～3 のいずれか）。").arg(text);
        break;
    }
    return result;
}
