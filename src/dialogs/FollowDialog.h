#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

class MessageBoxes;
class QLabel;
struct SharedState;

/// "着信のフォロー": whether this desk follows the calls of the office's history, and the
/// postgresql:// URI of that history. OK writes `[FOLLOW]` and the settings in memory and
/// accepts; a URI that is not a postgresql:// one is refused with a message. Cancel changes
/// nothing.
class FollowDialog final : public QDialog
{
    Q_OBJECT

public:
    FollowDialog(SharedState& state, MessageBoxes& messageBoxes, QWidget* parent = nullptr);

    void cmdOK_Click();
    /// Why this desk cannot follow now (CallFollower::problemText), under the URI; nothing when empty.
    void showFollowProblem(const QString& text);

    QCheckBox* chkFollow = nullptr;
    QLineEdit* txtFollowUri = nullptr;
    /// 担当者: the person at this desk; empty for the login user's full name.
    QLineEdit* txtPerson = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

private:
    void showProblem(const QString& text);

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    QLabel* lblFollowProblem = nullptr;
};
