#pragma once

#include "history/HistoryReader.h"

#include <QAbstractTableModel>

#include <deque>
#include <vector>

class HistoryBrowser;
class PhoneBook;

/// The rows a `HistoryBrowser` has read, as a table: date and time, number (as people read it,
/// with what the adapter sent as its tip), the caller's name, and how many calls that number has made.
/// The name is the one stored with the call; with a phone book, the book's name now beside it when
/// that differs, and a nuisance caller's row in red. More rows are read as the view
/// scrolls down to them; calls written since take their place in the order, and the counts of their numbers follow.
/// Then what people did with the call: its state, who took it, and the newest message (shortened; all of its
/// messages in the tip), brought up to date by each event that arrives.
class HistoryTableModel final : public QAbstractTableModel
{
public:
    enum Column
    {
        DateTime,
        Number,
        Name,
        Calls,
        State,
        Claimer,
        Memo,
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
    /// Adds an event any desk wrote to the row of its call, if it is shown and lacks it; rows read later get it too,
    /// should their read have come before its write.
    void addEvent(const CallEvent& event);

private:
    void replace(const std::vector<HistoryEntry>& rows);
    void append(const std::vector<HistoryEntry>& rows);
    void insertArrived(const std::vector<HistoryEntry>& rows);
    /// Gives the rows the events that arrived lately.
    void withRecentEvents(std::vector<HistoryEntry>& rows) const;

    HistoryBrowser& m_browser;
    const PhoneBook* m_book = nullptr;
    std::vector<HistoryEntry> m_rows;
    std::deque<CallEvent> m_recentEvents;
};
