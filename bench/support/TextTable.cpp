#include "TextTable.h"

#include <algorithm>
#include <cstdio>

namespace {

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
}

qsizetype displayWidth(const QString& text)
{
    qsizetype width = 0;
    for (const char32_t c : text.toUcs4())
        width += isWide(c) ? 2 : 1;
    return width;
}

QString padded(const QString& text, qsizetype width, bool left)
{
    const QString fill(std::max<qsizetype>(0, width - displayWidth(text)), u' ');
    return left ? text + fill : fill + text;
}

} // namespace

TextTable::TextTable(QStringList header, int textColumns)
    : m_header(std::move(header))
    , m_textColumns(textColumns)
{}

void TextTable::addRow(QStringList cells)
{
    while (cells.size() < m_header.size())
        cells << QString();
    m_rows.push_back(std::move(cells));
}

void TextTable::print(const QString& title) const
{
    std::vector<qsizetype> widths;
    for (const QString& cell : m_header)
        widths.push_back(displayWidth(cell));
    for (const QStringList& row : m_rows) {
        for (qsizetype i = 0; i < row.size() && i < qsizetype(widths.size()); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], displayWidth(row[i]));
    }
    const auto line = [&](const QStringList& cells) {
        QStringList out;
        for (qsizetype i = 0; i < qsizetype(widths.size()); ++i)
            out << padded(cells.value(i), widths[std::size_t(i)], i < m_textColumns);
        QString text = out.join(QStringLiteral("  "));
        while (text.endsWith(u' '))
            text.chop(1);
        return text;
    };
    printLine(title);
    printLine(line(m_header));
    for (const QStringList& row : m_rows)
        printLine(line(row));
}

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}
