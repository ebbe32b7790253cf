#include "calls/HistoryCsv.h"

#include "calls/HistoryReader.h"

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

QString spreadsheetSafeNumber(const QString& number)
{
    static const QString kStarts = QStringLiteral("=+-@\t\r");
    if (number.isEmpty() || !kStarts.contains(number.front()))
        return number;
    // "+81..." is an international number and stays as it is.
    bool digitsOnly = number.size() > 1;
    for (qsizetype i = 1; i < number.size(); ++i)
        digitsOnly = digitsOnly && number.at(i).isDigit();
    return (number.front() == u'+' || number.front() == u'-') && digitsOnly ? number : QLatin1Char('\'') + number;
}

HistoryExport exportHistory(HistoryReader& reader, const HistoryFilter& filter, QIODevice& out)
{
    HistoryExport result;
    const auto line = [&out](const QStringList& fields) {
        QStringList quoted;
        for (const QString& field : fields)
            quoted << csvField(field);
        const QByteArray bytes = (quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
        return out.write(bytes) == bytes.size();
    };
    bool written = out.write("\xEF\xBB\xBF") == 3 &&
                   line({QStringLiteral("日時"), QStringLiteral("電話番号"), QStringLiteral("着信回数")});
    const bool read = written && reader.forEach(filter, [&](const HistoryEntry& row) {
        written = line({row.calldate, spreadsheetSafeNumber(row.number), QString::number(row.calls)});
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
