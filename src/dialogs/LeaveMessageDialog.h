#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

/// 「伝言を残す」: a message about one call for a person, its text, and whether the caller wants to
/// be called back. The recipient is chosen among the people seen at the office's desks or typed
/// anew; 「送る」 needs one. Only asks: whoever opened it sends what it gives once it is accepted.
class LeaveMessageDialog final : public QDialog
{
    Q_OBJECT

public:
    /// `call` says which call as people read it (number, name, date); `people` are offered as
    /// recipients, those other than `me` first.
    LeaveMessageDialog(const QString& call, const QStringList& people, const QString& me, QWidget* parent = nullptr);

    /// Shows the dialog over `parent`, window-modal, without waiting; it deletes itself when closed.
    static LeaveMessageDialog* showFor(const QString& call, const QStringList& people, const QString& me,
                                       QWidget* parent);
    /// The people in the order the recipient's list offers them: the others as given, then `me`.
    static QStringList recipients(const QStringList& people, const QString& me);

    QString to() const;
    QString text() const;
    bool callBack() const;

    QLabel* lblCall = nullptr;
    QComboBox* cboTo = nullptr;
    QPlainTextEdit* txtMessage = nullptr;
    QRadioButton* optCallBack = nullptr;
    QRadioButton* optNoCallBack = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
};
