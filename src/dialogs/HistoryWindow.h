#pragma once

#include "history/CallEvents.h"
#include "history/HistoryBrowser.h"
#include "history/HistoryFilter.h"

#include <QPointer>
#include <QWidget>

class BrowserLauncher;
class FileChooser;
class HistoryTableModel;
class LeaveMessageDialog;
class MessageBoxes;
class PhoneBook;
class QAction;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
struct PhoneBookEntry;
struct SharedState;

/// "着信履歴": the calls of the configured history (`path3`), newest first, with how many
/// calls each number has made; a search that narrows them as the user types (a number
/// fragment in any notation, the reason a call carried no number, and a period); the caller's page opened again (Enter,
/// a double-click or the context menu) exactly as the call opened it, whatever `browse` says; the number copied (Ctrl+C
/// or the context menu); and the rows found exported to CSV. Reads only, on a thread of its own; when the database
/// cannot be read, a line in the window says so while it is tried again. With the phone book: the caller's name, found
/// by name and reading too, and the caller registered, edited or marked as a nuisance from the context menu. With the
/// call events: each call's state, who took it and its newest message, found by the messages' text and people too;
/// only the calls nobody has taken, or those with a message open for this desk's person; and the call taken, a
/// message left, or the call marked called back or done from the context menu.
class HistoryWindow final : public QWidget
{
    Q_OBJECT

public:
    /// The periods in the order `cboPeriod` lists them.
    static constexpr HistoryPeriod kPeriods[] = {HistoryPeriod::All,       HistoryPeriod::Today,
                                                 HistoryPeriod::Yesterday, HistoryPeriod::ThisWeek,
                                                 HistoryPeriod::ThisMonth, HistoryPeriod::Between};

    /// Without `book` (or `boxes`, which its dialogs need) the window has no phone book features.
    HistoryWindow(const SharedState& state, BrowserLauncher& launcher, FileChooser& fileChooser,
                  QWidget* parent = nullptr, PhoneBook* book = nullptr, MessageBoxes* boxes = nullptr);
    ~HistoryWindow() override;

    HistoryBrowser& browser() { return m_browser; }
    /// The filter the search box, the period and the dates make now.
    HistoryFilter filter() const;

    /// Opens the page of the number in `row` of the table, as a call does.
    void openPage(int row);
    /// Puts the number in `row` on the clipboard.
    void copyNumber(int row);
    /// Asks where to save, then writes the rows the search finds there.
    void exportRows();
    /// Opens the phone book's entry for the number in `row`: a new one with the number filled in
    /// when the book lacks it.
    void registerCaller(int row);
    /// Marks the number in `row` as a nuisance caller, or takes the mark away; a number the book
    /// lacks is added, without a name, marked.
    void toggleNuisance(int row);

    /// What people do with the calls, written and followed through `events` (null: none of it).
    void setCallEvents(CallEvents* events);
    /// 対応します for the call in `row`; a box says who has it when another person took it first.
    void claim(int row);
    /// Opens 「伝言を残す」 for the call in `row`, window-modal, without waiting; the message goes once it is accepted.
    LeaveMessageDialog* leaveMessage(int row);
    void markCalledBack(int row);
    void markDone(int row);
    /// Shows every call with a message still open for this desk's person.
    void showMessagesForMe();
    /// Shows today's calls nobody has taken, as the tray counts them.
    void showOpenCalls();

    QLineEdit* txtSearch = nullptr;
    /// All calls, or those without a number for one reason (非通知, ...), or with nothing.
    QComboBox* cboReason = nullptr;
    QComboBox* cboPeriod = nullptr;
    /// All calls, those nobody has taken (未対応), or those with a message for this desk's person.
    QComboBox* cboProgress = nullptr;
    QDateEdit* dtFrom = nullptr;
    QDateEdit* dtTo = nullptr;
    QPushButton* cmdExport = nullptr;
    QTableView* lstHistory = nullptr;
    QLabel* lblStatus = nullptr;
    /// The context menu's phone book items; hidden without a book and for a row without a number.
    QAction* mnuPhoneBook = nullptr;
    QAction* mnuNuisance = nullptr;
    /// The context menu's items for what people do with a call; hidden without call events.
    QAction* mnuClaim = nullptr;
    QAction* mnuLeaveMessage = nullptr;
    QAction* mnuCalledBack = nullptr;
    QAction* mnuDone = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void search();
    int currentRow() const;
    /// The phone book's entry for the number in `row`, if the row has a number the book has.
    const PhoneBookEntry* listed(int row) const;
    void updateBookActions();
    /// Clears the search and shows the calls of `progress` (a choice of `cboProgress`) in `period`.
    void showProgress(int progress, HistoryPeriod period);
    bool eventsOn() const;
    /// Shows or hides what belongs to the call events, as they are on or off now.
    void updateEventControls();
    void record(int row, void (CallEvents::*write)(const CallEvents::CallRef&, CallEvents::Done));
    /// Tells the user of a write that did not go through.
    CallEvents::Done reporter();

    const SharedState& m_state;
    BrowserLauncher& m_launcher;
    FileChooser& m_fileChooser;
    PhoneBook* m_book = nullptr;
    MessageBoxes* m_boxes = nullptr;
    HistoryBrowser m_browser;
    HistoryTableModel* m_model = nullptr;
    QPointer<CallEvents> m_events;
    QAction* m_eventsSeparator = nullptr;
};
