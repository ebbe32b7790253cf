#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

/// Everything exchanged with the adapter is CP932 (the Japanese system ANSI code page), with
/// Windows' table: every byte below 0x80 is the code point of the same value, and a character
/// CP932 has no code for is sent as '?'.
QByteArray toCp932(const QString& text);
/// Decodes one complete unit of adapter bytes; an incomplete trailing character decodes as
/// a replacement character.
QString fromCp932(QByteArrayView bytes);

/// Decodes a stream of adapter bytes read in pieces: a character split between two pieces
/// comes out whole with the second.
class Cp932Decoder
{
public:
    QString decode(QByteArrayView bytes);

private:
    QStringDecoder m_decoder{"CP932"};
};
