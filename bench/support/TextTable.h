#pragma once

#include <QString>
#include <QStringList>

#include <vector>

/// A plain-text table for the terminal: the first `textColumns` columns left-aligned, the
/// rest (numbers) right-aligned. Widths count East Asian wide characters as two.
class TextTable
{
public:
    explicit TextTable(QStringList header, int textColumns = 1);

    void addRow(QStringList cells);
    /// The table, one line per row, under a title line.
    void print(const QString& title) const;

private:
    QStringList m_header;
    int m_textColumns = 1;
    std::vector<QStringList> m_rows;
};

/// Writes one line (UTF-8) to standard output and flushes it, so progress shows at once.
void printLine(const QString& line);
