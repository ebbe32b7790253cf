#include "history/HistoryCsv.h"

#include "history/CallEvent.h"
#include "history/HistoryReader.h"

#include <QHash>
#include <QIODevice>
#include <QStringList>

QString csvField(const QString& value)
{
    const bool quote = value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"')) ||
                       value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) ||
                       (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!quote)
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString spreadsheetSafe(const QString& value)
{
    // A spreadsheet on a Japanese desktop takes the full-width signs for formulas as well.
    static const QString kStarts = QStringLiteral("=+-@\t\r＝＋－＠");
    if (value.isEmpty() || !kStarts.contains(value.front()))
        return value;
    // "+81..." is an international number and stays as it is.
    bool digitsOnly = value.size() > 1;
    for (qsizetype i = 1; i < value.size(); ++i)
        digitsOnly = digitsOnly && value.at(i).isDigit();
    return (value.front() == u'+' || value.front() == u'-') && digitsOnly ? value : QLatin1Char('\'') + value;
}

HistoryExport exportHistory(HistoryReader& reader, const HistoryFilter& filter, QIODevice& out, NumberReading reading)
{
    // A history holds the same numbers again and again: each is read once per export (up to a
    // bound, beyond which the reading starts over).
    QHash<QString, QString> readings;
    const auto readNumber = [&](const QString& number) -> QString {
        if (readings.size() > 100000)
            readings.clear();
        auto known = readings.find(number);
        return known != readings.end() ? *known : *readings.insert(number, reading(number));
    };
    HistoryExport result;
    const auto line = [&out](const QStringList& fields) {
        QStringList quoted;
        // A date or a count comes from the database too, and another program may have written it.
        for (const QString& field : fields)
            quoted << csvField(spreadsheetSafe(field));
        const QByteArray bytes = (quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
        return out.write(bytes) == bytes.size();
    };
    bool written = out.write("\xEF\xBB\xBF") == 3 &&
                   line({QStringLiteral("日時"), QStringLiteral("電話番号"), QStringLiteral("電話番号（表記）"),
                         QStringLiteral("着信回数"), QStringLiteral("名前"), QStringLiteral("状態"),
                         QStringLiteral("担当"), QStringLiteral("メモ")});
    const bool read = written && reader.forEach(filter, [&](const HistoryEntry& row) {
        const CallProgress progress = progressOf(row.events);
        written = line({row.calldate, row.number, readNumber(row.number), QString::number(row.calls), row.name,
                        stateText(progress.state), progress.claimer, progress.memo});
        result.rows += written ? 1 : 0;
        return written;
    });
    result.ok = written && read;
    if (!written)
        result.error = out.errorString();
    else if (!read)
        result.error = reader.lastError();
    return result;
}
