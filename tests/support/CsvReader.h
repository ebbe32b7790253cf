#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

/// Reads CSV as RFC 4180 defines it (CRLF or LF line ends, quoted fields with doubled
/// quotes, line breaks inside quotes); nothing when a quote is left open or stray.
inline std::optional<std::vector<QStringList>> readCsv(const QString& text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text.at(i + 1) == u'"')
                field += text.at(++i);
            else
                quoted = false;
        } else if (c == u'"') {
            if (!field.isEmpty() || wasQuoted)
                return std::nullopt;
            quoted = wasQuoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
            wasQuoted = false;
        } else if (c == u'\n' || (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')) {
            i += c == u'\r' ? 1 : 0;
            rows.push_back(row << field);
            row.clear();
            field.clear();
            wasQuoted = false;
        } else if (wasQuoted) {
            return std::nullopt;
        } else {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    if (!field.isEmpty() || !row.isEmpty())
        rows.push_back(row << field);
    return rows;
}
