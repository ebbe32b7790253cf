#pragma once

#include "history/HistoryReader.h"

#include <QAbstractTableModel>

#include <vector>

class HistoryBrowser;
class PhoneBook;

/// The rows a `HistoryBrowser` has read, as a table: date and time, number (as people read it,
/// with what the adapter sent as its tip), the caller's name, and how many calls that number has made.
/// The name is the one stored with the call; with a phone book, the book's name now beside it when
/// that differs, and a nuisance caller's row in red. More rows are read as the view
/// scrolls down to them; calls written since take their place in the order, and the counts of their numbers follow.
class HistoryTableModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        DateTime,
        Number,
        Name,
        Calls,
        ColumnCount
    };

    explicit HistoryTableModel(HistoryBrowser& browser, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    const HistoryEntry& entry(int row) const { return m_rows.at(std::size_t(row)); }
    /// Names the rows' numbers by `book` now too, following its changes; null: the stored names only.
    void setPhoneBook(const PhoneBook* book);
    /// What the name cell shows: `stored` (null when none), and the book's name `current`
    /// beside it when that differs, marked for a nuisance caller.
    static QString nameText(const QString& stored, const QString* current, bool nuisance);

private:
    void replace(const std::vector<HistoryEntry>& rows);
    void append(const std::vector<HistoryEntry>& rows);
    void insertArrived(const std::vector<HistoryEntry>& rows);

    HistoryBrowser& m_browser;
    const PhoneBook* m_book = nullptr;
    std::vector<HistoryEntry> m_rows;
};
