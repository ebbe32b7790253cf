#pragma once

#include "history/HistoryBrowser.h"
#include "history/HistoryFilter.h"

#include <QWidget>

class BrowserLauncher;
class FileChooser;
class HistoryTableModel;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
struct SharedState;

/// "着信履歴": the calls of the configured history (`path3`), newest first, with how many
/// calls each number has made; a search that narrows them as the user types (a number
/// fragment in any notation, the reason a call carried no number, and a period); the caller's page opened again (Enter,
/// a double-click or the context menu) exactly as the call opened it, whatever `browse` says; the number copied (Ctrl+C
/// or the context menu); and the rows found exported to CSV. Reads only, on a thread of its own; when the database
/// cannot be read, a line in the window says so while it is tried again.
class HistoryWindow final : public QWidget
{
    Q_OBJECT

public:
    /// The periods in the order `cboPeriod` lists them.
    static constexpr HistoryPeriod kPeriods[] = {HistoryPeriod::All,       HistoryPeriod::Today,
                                                 HistoryPeriod::Yesterday, HistoryPeriod::ThisWeek,
                                                 HistoryPeriod::ThisMonth, HistoryPeriod::Between};

    HistoryWindow(const SharedState& state, BrowserLauncher& launcher, FileChooser& fileChooser,
                  QWidget* parent = nullptr);
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

    QLineEdit* txtSearch = nullptr;
    /// All calls, or those without a number for one reason (非通知, ...), or with nothing.
    QComboBox* cboReason = nullptr;
    QComboBox* cboPeriod = nullptr;
    QDateEdit* dtFrom = nullptr;
    QDateEdit* dtTo = nullptr;
    QPushButton* cmdExport = nullptr;
    QTableView* lstHistory = nullptr;
    QLabel* lblStatus = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void search();
    int currentRow() const;

    const SharedState& m_state;
    BrowserLauncher& m_launcher;
    FileChooser& m_fileChooser;
    HistoryBrowser m_browser;
    HistoryTableModel* m_model = nullptr;
};
