#include "link/Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

QByteArray toCp932(const QString& text)
{
    QStringEncoder encoder("CP932");
    return encoder.encode(text);
}

QString fromCp932(QByteArrayView bytes)
{
    QStringDecoder decoder("CP932");
    return decoder.decode(bytes);
}
