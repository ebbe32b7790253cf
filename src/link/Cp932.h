#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// Everything exchanged with the adapter is CP932 (the Japanese system ANSI code page).
QByteArray toCp932(const QString& text);
/// Decodes one complete unit of adapter bytes; an incomplete trailing character decodes as
/// a replacement character.
QString fromCp932(QByteArrayView bytes);
