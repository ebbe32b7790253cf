#include "ui/PhoneBookTableModel.h"

#include "calls/CallerNumber.h"

QString PhoneBookTableModel::withNuisanceMark(const QString& text)
{
    const QString mark = QStringLiteral("迷惑電話");
    return text.isEmpty() ? mark : text + QStringLiteral("　") + mark;
}

int PhoneBookTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PhoneBookTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PhoneBookTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const PhoneBookEntry& row = entry(index.row());
    if (role == Qt::ForegroundRole)
        return row.nuisance ? QVariant(nuisanceColour()) : QVariant();
    // The numbers as they were typed, whole, where the cell shows them written and in one line.
    if (role == Qt::ToolTipRole && index.column() == Numbers)
        return row.numbers.join(u'\n');
    if (role == Qt::ToolTipRole && index.column() == Note)
        return row.note;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Name:
        return row.nuisance ? withNuisanceMark(row.name) : row.name;
    case Reading:
        return row.reading;
    case Company:
        return row.company;
    case Numbers: {
        QStringList shown;
        for (const QString& number : row.numbers)
            shown << CallerNumber::shownOf(number);
        return shown.join(QStringLiteral("、"));
    }
    case Note:
        // One line in the table; the whole note is in the tip.
        return QString(row.note).replace(u'\n', u' ');
    default:
        return {};
    }
}

QVariant PhoneBookTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Name:
        return QStringLiteral("名前");
    case Reading:
        return QStringLiteral("よみ");
    case Company:
        return QStringLiteral("会社・部署");
    case Numbers:
        return QStringLiteral("電話番号");
    case Note:
        return QStringLiteral("メモ");
    default:
        return {};
    }
}

void PhoneBookTableModel::setEntries(const std::vector<const PhoneBookEntry*>& entries)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(entries.size());
    for (const PhoneBookEntry* entry : entries)
        m_rows.push_back(*entry);
    endResetModel();
}

int PhoneBookTableModel::rowOf(qint64 id) const
{
    for (std::size_t row = 0; row < m_rows.size(); ++row)
        if (m_rows[row].id == id)
            return int(row);
    return -1;
}
