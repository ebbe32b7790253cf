#include "dialogs/LeaveMessageDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

LeaveMessageDialog::LeaveMessageDialog(const QString& call, const QStringList& people, const QString& me,
                                       QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("LeaveMessageDialog"));
    setWindowTitle(QStringLiteral("伝言を残す"));

    lblCall = new QLabel(call, this);
    lblCall->setObjectName(QStringLiteral("lblCall"));
    lblCall->setTextFormat(Qt::PlainText);

    cboTo = new QComboBox(this);
    cboTo->setObjectName(QStringLiteral("cboTo"));
    cboTo->setEditable(true);
    cboTo->setInsertPolicy(QComboBox::NoInsert);
    cboTo->addItems(recipients(people, me));
    // Nobody is chosen for the user: a message for the wrong person is worse than none.
    cboTo->setCurrentIndex(-1);
    cboTo->lineEdit()->setPlaceholderText(QStringLiteral("名前を選ぶか入力"));

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setTabChangesFocus(true);
    txtMessage->setFixedHeight(txtMessage->fontMetrics().lineSpacing() * 5 + 12);

    optCallBack = new QRadioButton(QStringLiteral("折り返し要"), this);
    optCallBack->setObjectName(QStringLiteral("optCallBack"));
    optCallBack->setChecked(true);
    optNoCallBack = new QRadioButton(QStringLiteral("折り返し不要"), this);
    optNoCallBack->setObjectName(QStringLiteral("optNoCallBack"));
    auto* callBackGroup = new QButtonGroup(this);
    callBackGroup->addButton(optCallBack);
    callBackGroup->addButton(optNoCallBack);
    auto* callBackRow = new QHBoxLayout;
    callBackRow->addWidget(optCallBack);
    callBackRow->addWidget(optNoCallBack);
    callBackRow->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    cmdOk = buttons->addButton(QStringLiteral("送る"), QDialogButtonBox::AcceptRole);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdOk->setEnabled(false);
    cmdCancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cboTo, &QComboBox::editTextChanged, this, [this] { cmdOk->setEnabled(!to().isEmpty()); });

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("着信"), lblCall);
    form->addRow(QStringLiteral("宛先"), cboTo);
    form->addRow(QStringLiteral("伝言"), txtMessage);
    form->addRow(QString(), callBackRow);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("03-1234-5678　株式会社ながいながい会社名")) + 120);
    cboTo->setFocus();
}

LeaveMessageDialog* LeaveMessageDialog::showFor(const QString& call, const QStringList& people, const QString& me,
                                                QWidget* parent)
{
    auto* dialog = new LeaveMessageDialog(call, people, me, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    return dialog;
}

QStringList LeaveMessageDialog::recipients(const QStringList& people, const QString& me)
{
    QStringList ordered;
    for (const QString& person : people)
        if (person != me && !person.isEmpty() && !ordered.contains(person))
            ordered << person;
    // One may leave a note for oneself, but it is rarely what is meant.
    if (!me.isEmpty())
        ordered << me;
    return ordered;
}

QString LeaveMessageDialog::to() const
{
    return cboTo->currentText().trimmed();
}

QString LeaveMessageDialog::text() const
{
    return txtMessage->toPlainText().trimmed();
}

bool LeaveMessageDialog::callBack() const
{
    return optCallBack->isChecked();
}
