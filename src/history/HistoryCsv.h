#pragma once

#include "history/HistoryFilter.h"

#include <QString>

class HistoryReader;
class QIODevice;

/// What an export wrote.
struct HistoryExport
{
    bool ok = false;
    qint64 rows = 0;
    /// Why it failed: the database's or the file's reason.
    QString error{};
};

/// One CSV field as RFC 4180 writes it: quoted, with quotes doubled, when it holds a comma,
/// a quote, a line break or a blank at either end; as it is otherwise.
QString csvField(const QString& value);

/// A value as a spreadsheet cell that only ever shows it: one that a spreadsheet would take
/// for a formula ("=", "+", "-", "@", their full-width forms "＝＋－＠", a tab or a carriage
/// return first) gets a leading "'", except an ASCII sign followed by digits only ("+81…").
QString spreadsheetSafe(const QString& value);

/// How people read a number the adapter sent ("03-1234-5678", "非通知").
using NumberReading = QString (*)(const QString& sent);

/// Writes the rows of the history `reader` reads that match `filter`, newest first, to `out`
/// as CSV a spreadsheet on a Japanese desktop opens as it is: UTF-8 with a byte-order mark,
/// CRLF line ends, a header row ("日時", "電話番号", "電話番号（表記）", "着信回数", "名前", "状態",
/// "担当", "メモ"), then one row per call, the number as sent and as `reading` gives it, what
/// people did with the call as its events add up to, every field made spreadsheet-safe.
HistoryExport exportHistory(HistoryReader& reader, const HistoryFilter& filter, QIODevice& out, NumberReading reading);
