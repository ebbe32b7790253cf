#include "dialogs/PhoneBookEntryDialog.h"

#include "app/MessageBoxes.h"
#include "calls/CallerNumber.h"
#include "phonebook/PhoneBook.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

PhoneBookEntryDialog::PhoneBookEntryDialog(PhoneBook& book, MessageBoxes& boxes, const PhoneBookEntry& entry,
                                           QWidget* parent)
    : QDialog(parent)
    , m_book(book)
    , m_boxes(boxes)
    , m_id(entry.id)
{
    setObjectName(QStringLiteral("PhoneBookEntryDialog"));
    setWindowTitle(entry.id == 0 ? QStringLiteral("電話帳の登録") : QStringLiteral("電話帳の編集"));

    const auto lineEdit = [this](const char* name, const QString& text) {
        auto* edit = new QLineEdit(text, this);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    txtName = lineEdit("txtName", entry.name);
    txtReading = lineEdit("txtReading", entry.reading);
    txtCompany = lineEdit("txtCompany", entry.company);
    txtNumbers = new QPlainTextEdit(entry.numbers.join(u'\n'), this);
    txtNumbers->setObjectName(QStringLiteral("txtNumbers"));
    txtNumbers->setTabChangesFocus(true);
    txtNumbers->setPlaceholderText(QStringLiteral("1行に1つ"));
    txtNote = new QPlainTextEdit(entry.note, this);
    txtNote->setObjectName(QStringLiteral("txtNote"));
    txtNote->setTabChangesFocus(true);
    chkNuisance = new QCheckBox(QStringLiteral("迷惑電話"), this);
    chkNuisance->setObjectName(QStringLiteral("chkNuisance"));
    chkNuisance->setChecked(entry.nuisance);
    const int lines = txtNumbers->fontMetrics().lineSpacing();
    txtNumbers->setFixedHeight(lines * 4 + 12);
    txtNote->setFixedHeight(lines * 4 + 12);

    auto* buttons = new QDialogButtonBox(this);
    cmdOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, &PhoneBookEntryDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("名前"), txtName);
    form->addRow(QStringLiteral("よみ"), txtReading);
    form->addRow(QStringLiteral("会社・部署"), txtCompany);
    form->addRow(QStringLiteral("電話番号"), txtNumbers);
    form->addRow(QStringLiteral("メモ"), txtNote);
    form->addRow(QString(), chkNuisance);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(txtName->fontMetrics().horizontalAdvance(QStringLiteral("株式会社ながいながい会社名営業部")) + 120);
}

PhoneBookEntryDialog* PhoneBookEntryDialog::showFor(PhoneBook& book, MessageBoxes& boxes, const PhoneBookEntry& entry,
                                                    QWidget* parent)
{
    auto* dialog = new PhoneBookEntryDialog(book, boxes, entry, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

PhoneBookEntryDialog* PhoneBookEntryDialog::showNew(PhoneBook& book, MessageBoxes& boxes, const QString& number,
                                                    QWidget* parent)
{
    PhoneBookEntry entry;
    entry.numbers = {CallerNumber(number).written()};
    PhoneBookEntryDialog* dialog = showFor(book, boxes, entry, parent);
    dialog->txtName->setFocus();
    return dialog;
}

PhoneBookEntry PhoneBookEntryDialog::entry() const
{
    PhoneBookEntry entry;
    entry.id = m_id;
    entry.name = txtName->text().trimmed();
    entry.reading = txtReading->text().trimmed();
    entry.company = txtCompany->text().trimmed();
    for (const QString& line : txtNumbers->toPlainText().split(u'\n'))
        if (const QString number = line.trimmed(); !number.isEmpty())
            entry.numbers << number;
    entry.note = txtNote->toPlainText().trimmed();
    entry.nuisance = chkNuisance->isChecked();
    return entry;
}

void PhoneBookEntryDialog::cmdOK_Click()
{
    const PhoneBookEntry wanted = entry();
    if (wanted.name.isEmpty() && wanted.numbers.isEmpty()) {
        m_boxes.show(QStringLiteral("名前か電話番号を入力してください"), windowTitle(), MessageBoxes::Icon::Exclamation,
                     MessageBoxes::Buttons::Ok);
        return;
    }
    // One save at a time: the dialog closes when the database has taken it.
    cmdOK->setEnabled(false);
    m_book.save(wanted, [dialog = QPointer(this)](qint64 id, const QString& error) {
        if (!dialog)
            return;
        dialog->cmdOK->setEnabled(true);
        if (!error.isEmpty()) {
            dialog->m_boxes.show(QStringLiteral("電話帳に保存できませんでした。\n%1").arg(error), dialog->windowTitle(),
                                 MessageBoxes::Icon::Exclamation, MessageBoxes::Buttons::Ok);
            return;
        }
        dialog->m_id = id;
        dialog->accept();
    });
}
