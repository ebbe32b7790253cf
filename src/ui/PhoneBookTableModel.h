#pragma once

#include "phonebook/PhoneBookEntry.h"

#include <QAbstractTableModel>
#include <QColor>

#include <vector>

/// Phone book entries as a table: name, reading, company, numbers and note, a nuisance
/// caller's row in red with 「迷惑電話」 after the name. Holds copies, so that the rows stay
/// whole while the book they came from changes.
class PhoneBookTableModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        Name,
        Reading,
        Company,
        Numbers,
        Note,
        ColumnCount
    };

    /// The colour of a nuisance caller's text, here and in the history.
    static QColor nuisanceColour() { return QColor(0xC0, 0x00, 0x00); }
    /// `text` with the nuisance mark after it.
    static QString withNuisanceMark(const QString& text);

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    /// Shows these entries, in this order.
    void setEntries(const std::vector<const PhoneBookEntry*>& entries);
    const PhoneBookEntry& entry(int row) const { return m_rows.at(std::size_t(row)); }
    /// The row of the entry with key `id`; -1 when none shows it.
    int rowOf(qint64 id) const;

private:
    std::vector<PhoneBookEntry> m_rows;
};
