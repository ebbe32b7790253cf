#include "dialogs/frmUrl.h"

#include "app/MessageBoxes.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "calls/CallerPage.h"
#include "dialogs/FileChooser.h"
#include "ui/FormControls.h"
#include "ui/JapaneseFont.h"
#include "ui/Twips.h"

#include <QDir>
#include <QSignalBlocker>

namespace {

const QString kTrue = QStringLiteral("True");
const QString kFalse = QStringLiteral("False");
const QString kWrite = QStringLiteral("WRITE");
const QString kUrl = QStringLiteral("URL");
const QString kSystem = QStringLiteral("SYSTEM");
const QString kWriteFailed = QStringLiteral("設定ファイルの書き込みに失敗しました。");

constexpr int kClientWidth = 9360;
constexpr int kClientHeight = 3240;

} // namespace

frmUrl::frmUrl(SharedState& state, MessageBoxes& messageBoxes, FileChooser& fileChooser, const QWidget& mainWindow)
    : SettingsDialog(state, messageBoxes, QStringLiteral("frmUrl"), QStringLiteral("着信時の動作設定"), kClientWidth,
                     kClientHeight)
    , m_fileChooser(fileChooser)
{
    createControls();
    Form_Load(mainWindow);
}

void frmUrl::createControls()
{
    chkUrl = makeCheckBox(this, "chkUrl", twipsRect(240, 120, 255, 255));
    Label2 = makeLabel(this, "Label2", QStringLiteral("検出した電話番号指定してブラウザを起動する"),
                       twipsRect(600, 120, 5415, 300), kTextBoxPointSize);
    frUrl = makeFrame(this, "frUrl", QStringLiteral("ＵＲＬ設定"), twipsRect(480, 360, 7215, 975));
    lbUrlExm = makeLabel(frUrl, "lbUrlExm", QString(), twipsRect(120, 240, 6735, 375), kTextBoxPointSize);
    // The label reaches under the text box below it: its text sits at the top to stay clear.
    lbUrlExm->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    txtUrl = makeTextBox(frUrl, "txtUrl", twipsRect(120, 480, 6915, 375));

    chkHist = makeCheckBox(this, "chkHist", twipsRect(240, 1440, 255, 255));
    Label3 =
        makeLabel(this, "Label3", QStringLiteral("着信履歴をとる"), twipsRect(720, 1440, 5415, 255), kTextBoxPointSize);
    frDbPath = makeFrame(this, "frDbPath", QStringLiteral("データベース保存先指定"), twipsRect(480, 1680, 7215, 735));
    txtDbPath = makeTextBox(frDbPath, "txtDbPath", twipsRect(120, 240, 6015, 375));
    cbBrowse = makeButton(frDbPath, "cbBrowse", QStringLiteral("参照"), twipsRect(6360, 240, 615, 375));

    chkNotify = makeCheckBox(this, "chkNotify", twipsRect(240, 2520, 255, 255));
    Label4 = makeLabel(this, "Label4", QStringLiteral("着信をデスクトップに通知する"), twipsRect(720, 2520, 5415, 255),
                       kTextBoxPointSize);
    chkWithheld = makeCheckBox(this, "chkWithheld", twipsRect(240, 2820, 255, 255));
    Label5 = makeLabel(this, "Label5", QStringLiteral("番号のない着信（非通知など）でもページを開く"),
                       twipsRect(720, 2820, 5415, 255), kTextBoxPointSize);

    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(7920, 240, 1215, 375));
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("キャンセル"), twipsRect(7920, 720, 1215, 375));

    // `toggled` comes with every change of state, the user's and the program's alike, and
    // never without one.
    connect(chkUrl, &QCheckBox::toggled, this, &frmUrl::chkUrl_Click);
    connect(chkHist, &QCheckBox::toggled, this, &frmUrl::chkHist_Click);
    connect(chkNotify, &QCheckBox::toggled, this, &frmUrl::chkNotify_Click);
    connect(chkWithheld, &QCheckBox::toggled, this, &frmUrl::chkWithheld_Click);
    connect(txtUrl, &QLineEdit::textChanged, this, &frmUrl::txtUrl_Change);
    connect(cbBrowse, &QPushButton::clicked, this, &frmUrl::cbBrowse_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmUrl::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmUrl::cmdCancel_Click);
}

void frmUrl::Form_Load(const QWidget& mainWindow)
{
    placeOn(mainWindow, m_state.systemSettings.iconFile_on);
    ShowUrlSettings();
    showCutValues({{kUrl, QStringLiteral("path1")}, {kUrl, QStringLiteral("path3")}});
}

QString frmUrl::defaultDatabasePath(const QString& appDir)
{
    // QDir joins without doubling the separator of a root directory. A backslash is taken
    // as a separator only where the platform has it as one.
    return QDir::toNativeSeparators(QDir(appDir).filePath(QStringLiteral("mdb/cti.mdb")));
}

void frmUrl::ShowUrlSettings()
{
    UrlSettings& url = m_state.urlSettings;
    txtUrl->setText(url.path1);
    txtUrl_Change();

    // Setting a box runs its handler only when the state changes, which would leave the
    // text box as it was otherwise; so each step sets the text box itself too.
    const bool browse = isExactlyTrue(url.browse);
    chkUrl->setChecked(browse);
    txtUrl->setEnabled(browse);
    const bool history = isExactlyTrue(url.history);
    chkHist->setChecked(history);
    txtDbPath->setEnabled(history);
    chkNotify->setChecked(isExactlyTrue(url.notify));
    {
        // An absent key and "True" both open the page: the box shows that without writing either.
        const QSignalBlocker quiet(chkWithheld);
        chkWithheld->setChecked(url.openwithheld != kFalse);
    }

    if (url.path3.isEmpty())
        url.path3 = defaultDatabasePath(m_state.appDir);
    txtDbPath->setText(url.path3);
}

void frmUrl::chkUrl_Click()
{
    const bool checked = chkUrl->isChecked();
    m_state.urlSettings.browse = checked ? kTrue : kFalse;
    txtUrl->setEnabled(checked);
}

void frmUrl::chkHist_Click()
{
    const bool checked = chkHist->isChecked();
    m_state.urlSettings.history = checked ? kTrue : kFalse;
    txtDbPath->setEnabled(checked);
}

void frmUrl::chkNotify_Click()
{
    m_state.urlSettings.notify = chkNotify->isChecked() ? kTrue : kFalse;
}

void frmUrl::chkWithheld_Click()
{
    m_state.urlSettings.openwithheld = chkWithheld->isChecked() ? kTrue : kFalse;
}

void frmUrl::txtUrl_Change()
{
    const QString typed = txtUrl->text();
    lbUrlExm->setText(QStringLiteral("例：") + (typed.isEmpty() ? m_state.urlSettings.path2
                                                                : callerPageUrl(typed, QStringLiteral("0312345678"),
                                                                                QDateTime::currentDateTime())));
}

void frmUrl::cbBrowse_Click()
{
    const std::optional<QString> chosen = m_fileChooser.chooseFileToOpen(this);
    if (chosen && !chosen->isEmpty())
        txtDbPath->setText(*chosen);
}

int frmUrl::ReadWriteUrlSettings(const QString& mode)
{
    if (mode != kWrite)
        return 0;
    UrlSettings& url = m_state.urlSettings;
    url.path1 = txtUrl->text();
    url.path3 = txtDbPath->text();

    // The order is part of the contract: after a failure, the keys before it are written.
    int result = 1;
    if (chkUrl->isChecked())
        result = WriteIni(m_state, kUrl, QStringLiteral("path1"), url.path1);
    if (result != 0 && chkHist->isChecked())
        result = WriteIni(m_state, kUrl, QStringLiteral("path3"), url.path3);
    if (result != 0)
        result = WriteIni(m_state, kUrl, QStringLiteral("browse"), url.browse);
    if (result != 0)
        result = WriteIni(m_state, kUrl, QStringLiteral("history"), url.history);
    // An absent key and an empty one both mean off: a file without it gets it only once the
    // box has been used.
    if (result != 0 && !url.notify.isEmpty())
        result = WriteIni(m_state, kUrl, QStringLiteral("notify"), url.notify);
    if (result != 0 && !url.openwithheld.isEmpty())
        result = WriteIni(m_state, kUrl, QStringLiteral("openwithheld"), url.openwithheld);
    if (result != 0)
        result = WriteIni(m_state, kSystem, QStringLiteral("URLinit"), m_state.systemSettings.URLinit);
    return result;
}

void frmUrl::cmdOK_Click()
{
    QString message;
    if (!txtUrl->text().isEmpty() || !txtDbPath->text().isEmpty()) {
        m_state.systemSettings.URLinit = kTrue;
        if (ReadWriteUrlSettings(kWrite) != 0) {
            message = QStringLiteral("設定を登録しました。");
        } else {
            message = kWriteFailed;
            m_state.systemSettings.URLinit = kFalse;
        }
    } else {
        // A box closed without an answer writes nothing, like No.
        if (showBox(QStringLiteral("\r設定が完了していません。\rこのまま設定ファイルに書き込みますか？"),
                    MessageBoxes::Icon::Question, MessageBoxes::Buttons::YesNo) != MessageBoxes::Answer::Yes)
            return;
        m_state.systemSettings.URLinit = kFalse;
        m_state.urlSettings.path1.clear();
        message = ReadWriteUrlSettings(kWrite) != 0 ? QStringLiteral("未設定で登録しました。") : kWriteFailed;
    }

    if (!showBox(message, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok))
        return;
    if (m_state.appState == AppStateCode::UrlStep)
        setAppState(AppStateCode::AskStandby);
    done(Accepted);
}

void frmUrl::cmdCancel_Click()
{
    cancelStep(AppStateCode::UrlStep);
}
