#pragma once

#include "history/HistoryReader.h"

#include <QAbstractTableModel>

#include <vector>

class HistoryBrowser;

/// The rows a `HistoryBrowser` has read, as a table: date and time, number (as people read it,
/// with what the adapter sent as its tip), and how many calls that number has made. More rows are read as the view
/// scrolls down to them; calls written since take their place in the order, and the counts of their numbers follow.
class HistoryTableModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        DateTime,
        Number,
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

private:
    void replace(const std::vector<HistoryEntry>& rows);
    void append(const std::vector<HistoryEntry>& rows);
    void insertArrived(const std::vector<HistoryEntry>& rows);

    HistoryBrowser& m_browser;
    std::vector<HistoryEntry> m_rows;
};
