#include "link/Cp932.h"

#include <QStringEncoder>

namespace {

// Qt's CP932 table differs from Windows' in three control bytes: it reads 0x1A, 0x1C and
// 0x7F as U+001C, U+007F and U+001A, and writes those code points back as the same bytes.
// Below 0x80 the adapter's bytes are plain ASCII, so those are never left to the table.
void restoreAsciiControls(QString& text)
{
    for (QChar& c : text) {
        switch (c.unicode()) {
        case 0x1C:
            c = QChar(0x1A);
            break;
        case 0x7F:
            c = QChar(0x1C);
            break;
        case 0x1A:
            c = QChar(0x7F);
            break;
        default:
            break;
        }
    }
}

} // namespace

QByteArray toCp932(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            bytes.append(static_cast<char>(c.unicode()));
            ++i;
            continue;
        }
        const qsizetype width = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        // A fresh encoder for each character: Qt's keeps an error, or loses it, once it has had one.
        QStringEncoder encoder("CP932");
        const QByteArray encoded = encoder.encode(QStringView(text).sliced(i, width));
        if (encoder.hasError() || encoded.isEmpty()) {
            bytes.append('?');
        } else {
            bytes.append(encoded);
        }
        i += width;
    }
    return bytes;
}

QString fromCp932(QByteArrayView bytes)
{
    return Cp932Decoder().decode(bytes);
}

QString Cp932Decoder::decode(QByteArrayView bytes)
{
    QString text = m_decoder.decode(bytes);
    restoreAsciiControls(text);
    return text;
}
