#pragma once

#include <QWidget>

#include <functional>

class FileChooser;
class MessageBoxes;
class PhoneBook;
class PhoneBookTableModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
struct PhoneBookEntry;

/// 「電話帳」: the office's phone book, searched as the user types (name, reading, company,
/// note, or a number in any notation) in the copy in memory; entries added, edited (Enter or
/// a double-click), deleted and marked as nuisance callers; a CSV or vCard file imported, and
/// the entries found exported to one. Edits go through the book, which stores them on its
/// own thread; the table follows the book as it changes, here or at another desk.
class PhoneBookWindow final : public QWidget
{
    Q_OBJECT

public:
    PhoneBookWindow(PhoneBook& book, MessageBoxes& boxes, FileChooser& chooser, QWidget* parent = nullptr);
    ~PhoneBookWindow() override;

    /// The entry of the row chosen; null when none is.
    const PhoneBookEntry* currentEntry() const;

    void addEntry();
    void editEntry();
    /// Asks, then deletes the entry chosen.
    void deleteEntry();
    /// Marks the entry chosen as a nuisance caller, or takes the mark away.
    void toggleNuisance();
    /// Asks for a file, then imports it and reports what it did.
    void importFile();
    /// Asks where to save, then writes the entries found there: vCard for a .vcf name, else CSV.
    void exportEntries();

    QLineEdit* txtSearch = nullptr;
    QTableView* lstEntries = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdEdit = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdNuisance = nullptr;
    QPushButton* cmdImport = nullptr;
    QPushButton* cmdExport = nullptr;
    QLabel* lblStatus = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    /// Reads the search again from the book's copy, keeping the entry chosen.
    void refresh();
    void updateButtons();
    void updateStatus();
    void select(qint64 id);
    void showProblem(const QString& text);
    /// How a change the book made ended: a message when it failed.
    std::function<void(qint64, const QString&)> reportingFailure(const QString& what);

    PhoneBook& m_book;
    MessageBoxes& m_boxes;
    FileChooser& m_chooser;
    PhoneBookTableModel* m_model = nullptr;
    /// The key of an entry added here, to choose once the table shows it.
    qint64 m_added = 0;
    bool m_importing = false;
};
