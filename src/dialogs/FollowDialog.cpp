#include "dialogs/FollowDialog.h"

#include "app/MessageBoxes.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "history/PostgresUri.h"
#include "ui/FormControls.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

FollowDialog::FollowDialog(SharedState& state, MessageBoxes& messageBoxes, QWidget* parent)
    : QDialog(parent)
    , m_state(state)
    , m_messageBoxes(messageBoxes)
{
    setObjectName(QStringLiteral("FollowDialog"));
    setWindowTitle(QStringLiteral("着信のフォロー"));

    chkFollow = new QCheckBox(QStringLiteral("オフィスの着信をこのPCでもフォローする"), this);
    chkFollow->setObjectName(QStringLiteral("chkFollow"));
    chkFollow->setChecked(isExactlyTrue(state.followSettings.enabled));
    auto* explanation =
        new QLabel(QStringLiteral("アダプタのあるPCが着信履歴に書いた着信ごとに、このPCでも番号を表示し、"
                                  "URL設定のページを開きます。着信履歴には書きません。"),
                   this);
    explanation->setWordWrap(true);
    auto* uriLabel = new QLabel(QStringLiteral("着信履歴のサーバー（postgresql://…）"), this);
    txtFollowUri = new QLineEdit(state.followSettings.uri, this);
    txtFollowUri->setObjectName(QStringLiteral("txtFollowUri"));
    txtFollowUri->setPlaceholderText(QStringLiteral("postgresql://chakushin_reader@server/office"));
    txtFollowUri->setMinimumWidth(360);
    uriLabel->setBuddy(txtFollowUri);
    lblFollowProblem = new QLabel(this);
    lblFollowProblem->setObjectName(QStringLiteral("lblFollowProblem"));
    lblFollowProblem->setWordWrap(true);
    lblFollowProblem->hide();

    auto* personLabel = new QLabel(QStringLiteral("担当者（このPCで電話を受ける人の名前）"), this);
    txtPerson = new QLineEdit(state.deskSettings.person, this);
    txtPerson->setObjectName(QStringLiteral("txtPerson"));
    txtPerson->setPlaceholderText(loginFullName());
    personLabel->setBuddy(txtPerson);

    auto* buttons = new QDialogButtonBox(this);
    cmdOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdOK, &QPushButton::clicked, this, &FollowDialog::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chkFollow);
    layout->addWidget(explanation);
    layout->addWidget(uriLabel);
    layout->addWidget(txtFollowUri);
    layout->addWidget(lblFollowProblem);
    layout->addWidget(personLabel);
    layout->addWidget(txtPerson);
    if (const QString cut = cutValuesNotice(state, {{QStringLiteral("FOLLOW"), QStringLiteral("uri")}}); !cut.isEmpty())
        layout->addWidget(makeWarningLabel(this, QStringLiteral("lbCutValues"), cut));
    layout->addWidget(buttons);
}

void FollowDialog::showFollowProblem(const QString& text)
{
    lblFollowProblem->setText(text);
    lblFollowProblem->setVisible(!text.isEmpty());
}

void FollowDialog::showProblem(const QString& text)
{
    m_messageBoxes.show(text, m_state.systemSettings.appName, MessageBoxes::Icon::Exclamation,
                        MessageBoxes::Buttons::Ok);
}

void FollowDialog::cmdOK_Click()
{
    const QString uri = txtFollowUri->text().trimmed();
    const bool on = chkFollow->isChecked();
    QString why;
    if ((on || !uri.isEmpty()) && (!isPostgresUri(uri) || !parsePostgresUri(uri, &why))) {
        showProblem(QStringLiteral("フォローする着信履歴は、postgresql:// で始まるURIで指定してください。") +
                    (why.isEmpty() ? QString() : u'\n' + why));
        return;
    }
    const FollowSettings wanted{on ? QStringLiteral("True") : QStringLiteral("False"), uri};
    const DeskSettings desk{txtPerson->text().trimmed()};
    const QString section = QStringLiteral("FOLLOW");
    if (WriteIni(m_state, section, QStringLiteral("uri"), wanted.uri) == 0 ||
        WriteIni(m_state, section, QStringLiteral("enabled"), wanted.enabled) == 0 ||
        WriteIni(m_state, QStringLiteral("DESK"), QStringLiteral("person"), desk.person) == 0) {
        showProblem(QStringLiteral("INIファイルの書き込みに失敗しました。"));
        return;
    }
    m_state.followSettings = wanted;
    m_state.deskSettings = desk;
    accept();
}
