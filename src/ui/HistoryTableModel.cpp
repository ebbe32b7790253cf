#include "ui/HistoryTableModel.h"

#include "calls/CallerNumber.h"
#include "history/HistoryBrowser.h"
#include "phonebook/PhoneBook.h"
#include "ui/PhoneBookTableModel.h"

#include <algorithm>

namespace {

// The memo cell shows the start of the newest message on one line; the tip has all of them.
constexpr int kMemoShown = 40;
// Events kept for rows whose read may have missed them: far more than arrive during one read.
constexpr std::size_t kRecentEvents = 200;

QString shortMemo(const QString& memo)
{
    QString line = memo.simplified();
    if (line.size() > kMemoShown)
        line = line.left(kMemoShown - 1) + u'…';
    return line;
}

QString messagesTip(const QString& memo, const std::vector<CallEvent>& events)
{
    QStringList lines{memo};
    for (const CallEvent& event : events)
        if (event.kind == CallEvent::Kind::Message)
            lines << QString()
                  << QStringLiteral("%1 %2 → %3（%4）")
                         .arg(event.at.toString(QStringLiteral("yyyy-MM-dd HH:mm")), honorific(event.person),
                              event.to.isEmpty() ? QString() : honorific(event.to),
                              event.callBack ? QStringLiteral("折り返し要") : QStringLiteral("折り返し不要"))
                  << event.text;
    return lines.join(u'\n');
}

// Adds `event` to the row in the order of the keys; false when the row has it already.
bool merge(HistoryEntry& row, const CallEvent& event)
{
    const auto place = std::lower_bound(row.events.begin(), row.events.end(), event.id,
                                        [](const CallEvent& e, qint64 id) { return e.id < id; });
    if (place != row.events.end() && place->id == event.id)
        return false;
    CallEvent kept = event;
    kept.number.clear();
    kept.calldate.clear();
    row.events.insert(place, std::move(kept));
    return true;
}

} // namespace

HistoryTableModel::HistoryTableModel(HistoryBrowser& browser, QObject* parent)
    : QAbstractTableModel(parent)
    , m_browser(browser)
{
    connect(&browser, &HistoryBrowser::reset, this, &HistoryTableModel::replace);
    connect(&browser, &HistoryBrowser::appended, this, &HistoryTableModel::append);
    connect(&browser, &HistoryBrowser::arrived, this, &HistoryTableModel::insertArrived);
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

void HistoryTableModel::setPhoneBook(const PhoneBook* book)
{
    if (m_book)
        disconnect(m_book, nullptr, this, nullptr);
    m_book = book;
    if (m_book)
        connect(m_book, &PhoneBook::changed, this, [this] {
            // Any row may have a new name or mark; its colour is in every column.
            if (!m_rows.empty())
                emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                                 {Qt::DisplayRole, Qt::ForegroundRole});
        });
}

QString HistoryTableModel::nameText(const QString& stored, const QString* current, bool nuisance)
{
    QString text = stored;
    // A book's entry without a name (a number marked as a nuisance only) says nothing about it.
    if (current && !current->isEmpty() && *current != stored)
        text += QStringLiteral("（現在: %1）").arg(*current);
    return nuisance ? PhoneBookTableModel::withNuisanceMark(text) : text;
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const HistoryEntry& row = entry(index.row());
    // Looked up as the cell is drawn, in the book's copy in memory, so a change shows at once.
    const PhoneBookEntry* listed = nullptr;
    if (m_book && (role == Qt::ForegroundRole || (role == Qt::DisplayRole && index.column() == Name)))
        listed = m_book->index().find(row.number);
    if (role == Qt::ForegroundRole)
        return listed && listed->nuisance ? QVariant(PhoneBookTableModel::nuisanceColour()) : QVariant();
    if (role == Qt::TextAlignmentRole && index.column() == Calls)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == Number)
        return row.number;
    if (role == Qt::ToolTipRole && index.column() == Memo && !row.events.empty()) {
        const CallProgress progress = progressOf(row.events);
        return progress.memo.isEmpty() ? QVariant() : messagesTip(progress.memo, row.events);
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case DateTime:
        return row.calldate;
    case Number:
        return CallerNumber::shownOf(row.number);
    case Name:
        return nameText(row.name, listed ? &listed->name : nullptr, listed && listed->nuisance);
    case Calls:
        return row.calls;
    case State:
        return stateText(progressOf(row.events).state);
    case Claimer:
        return progressOf(row.events).claimer;
    case Memo:
        return shortMemo(progressOf(row.events).memo);
    default:
        return {};
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case DateTime:
        return QStringLiteral("日時");
    case Number:
        return QStringLiteral("電話番号");
    case Name:
        return QStringLiteral("名前");
    case Calls:
        return QStringLiteral("着信回数");
    case State:
        return QStringLiteral("状態");
    case Claimer:
        return QStringLiteral("担当");
    case Memo:
        return QStringLiteral("メモ");
    default:
        return {};
    }
}

bool HistoryTableModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && m_browser.canFetchMore();
}

void HistoryTableModel::fetchMore(const QModelIndex& parent)
{
    if (!parent.isValid())
        m_browser.fetchMore();
}

void HistoryTableModel::addEvent(const CallEvent& event)
{
    m_recentEvents.push_back(event);
    if (m_recentEvents.size() > kRecentEvents)
        m_recentEvents.pop_front();
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == event.callId && merge(m_rows[i], event))
            emit dataChanged(index(int(i), State), index(int(i), Memo));
}

void HistoryTableModel::withRecentEvents(std::vector<HistoryEntry>& rows) const
{
    for (const CallEvent& event : m_recentEvents)
        for (HistoryEntry& row : rows)
            if (row.id == event.callId)
                merge(row, event);
}

void HistoryTableModel::replace(const std::vector<HistoryEntry>& rows)
{
    beginResetModel();
    m_rows = rows;
    withRecentEvents(m_rows);
    endResetModel();
}

void HistoryTableModel::append(const std::vector<HistoryEntry>& rows)
{
    if (rows.empty())
        return;
    std::vector<HistoryEntry> added = rows;
    withRecentEvents(added);
    beginInsertRows({}, rowCount(), rowCount() + int(added.size()) - 1);
    m_rows.insert(m_rows.end(), added.begin(), added.end());
    endInsertRows();
}

void HistoryTableModel::insertArrived(const std::vector<HistoryEntry>& arrived)
{
    std::vector<HistoryEntry> rows = arrived;
    withRecentEvents(rows);
    for (const HistoryEntry& row : rows) {
        const auto place = std::lower_bound(m_rows.begin(), m_rows.end(), row, comesBefore);
        const int at = int(place - m_rows.begin());
        beginInsertRows({}, at, at);
        m_rows.insert(place, row);
        endInsertRows();
        for (std::size_t i = 0; i < m_rows.size(); ++i)
            if (m_rows[i].number == row.number && m_rows[i].calls != row.calls) {
                m_rows[i].calls = row.calls;
                const QModelIndex cell = index(int(i), Calls);
                emit dataChanged(cell, cell);
            }
    }
}
