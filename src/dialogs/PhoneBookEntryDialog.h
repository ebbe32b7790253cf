#pragma once

#include "phonebook/PhoneBookEntry.h"

#include <QDialog>

class MessageBoxes;
class PhoneBook;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

/// 「電話帳の登録」 (a new entry) or 「電話帳の編集」: one entry's name, reading, company,
/// numbers (one a line), note and nuisance mark. OK needs a name or a number, saves through
/// the book and closes once the database has the entry; when it cannot, a message says why
/// and the dialog stays with what was typed. Cancel changes nothing.
class PhoneBookEntryDialog final : public QDialog
{
    Q_OBJECT

public:
    PhoneBookEntryDialog(PhoneBook& book, MessageBoxes& boxes, const PhoneBookEntry& entry, QWidget* parent = nullptr);

    /// Shows the dialog for `entry` (key 0: a new one) over `parent`, window-modal, without
    /// waiting; it deletes itself when closed.
    static PhoneBookEntryDialog* showFor(PhoneBook& book, MessageBoxes& boxes, const PhoneBookEntry& entry,
                                         QWidget* parent);
    /// Shows the dialog for a new entry with `number` filled in, written as people write it.
    static PhoneBookEntryDialog* showNew(PhoneBook& book, MessageBoxes& boxes, const QString& number, QWidget* parent);

    /// The entry as the fields give it: the numbers one a line, blanks around each dropped.
    PhoneBookEntry entry() const;
    void cmdOK_Click();
    /// The entry's key: once OK has saved a new one, its new key.
    qint64 savedId() const { return m_id; }

    QLineEdit* txtName = nullptr;
    QLineEdit* txtReading = nullptr;
    QLineEdit* txtCompany = nullptr;
    QPlainTextEdit* txtNumbers = nullptr;
    QPlainTextEdit* txtNote = nullptr;
    QCheckBox* chkNuisance = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    PhoneBook& m_book;
    MessageBoxes& m_boxes;
    qint64 m_id = 0;
};
