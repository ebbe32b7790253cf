#include "dialogs/frmAdapter.h"

#include "app/Pause.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "dialogs/DialogSettings.h"
#include "link/AdapterConversation.h"
#include "link/PortDevice.h"
#include "link/frmComm.h"
#include "ui/FormControls.h"
#include "ui/JapaneseFont.h"
#include "ui/Twips.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetrics>

namespace {

constexpr int kClientWidth = 7200;
constexpr int kClientHeight = 3840;

const QString kWait = QStringLiteral("しばらくお待ちください・・・");
const QString kUnset = QStringLiteral("未設定");

} // namespace

frmAdapter::frmAdapter(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm,
                       frmTerminal& mainWindow)
    : SettingsDialog(state, messageBoxes, QStringLiteral("frmAdapter"), QStringLiteral("アダプタ設定"), kClientWidth,
                     kClientHeight)
    , m_pauser(pauser)
    , m_comm(comm)
    , m_mainWindow(mainWindow)
    , m_beep(&QApplication::beep)
    , m_lister([] { return listSerialPorts(); })
{
    createControls();
    Form_Load();
}

void frmAdapter::createControls()
{
    const char* const captions[] = {"ポート", "回線の種類", "回線の種類", "機種"};
    const QRect places[] = {twipsRect(240, 300, 975, 255), twipsRect(240, 1260, 975, 255),
                            twipsRect(240, 1740, 975, 255), twipsRect(240, 780, 975, 255)};
    for (std::size_t i = 0; i < Label1.size(); ++i)
        Label1[i] = makeLabel(this, QStringLiteral("Label1_%1").arg(i), QString::fromUtf8(captions[i]), places[i]);

    cboPort = makeList(this, "cboPort", twipsRect(1320, 240, 1455, 330));
    lbPortDevice = makeLabel(this, QStringLiteral("lbPortDevice"), QString(), twipsRect(2880, 300, 4200, 255));
    lbPortDevice->setFont(japaneseFont(kTextBoxPointSize));
    cboAdapterName = makeList(this, "cboAdapterName", twipsRect(1320, 720, 2775, 330));
    // The line kind comes from the model's profile, never from the user: this list and its
    // caption only hold the value.
    cboKind = makeList(this, "cboKind", twipsRect(1320, 1200, 2775, 330));
    cboKind->hide();
    Label1[1]->hide();

    lbAdapterName = makeLabel(this, QStringLiteral("lbAdapterName"), QString(), twipsRect(1320, 1260, 2775, 255));
    lbKenshutu = makeLabel(this, QStringLiteral("lbKenshutu"), QString(), twipsRect(4320, 1260, 2640, 255));
    lbKind = makeLabel(this, QStringLiteral("lbKind"), QString(), twipsRect(1320, 1740, 2775, 255));
    lbMessage = makeLabel(this, QStringLiteral("lbMessage"), QString(), twipsRect(240, 2220, 6720, 615));
    lbMessage->setWordWrap(true);
    lbMessage->setFrameShape(QFrame::StyledPanel);

    cmdAdapter = makeButton(this, "cmdAdapter", QStringLiteral("アダプタ検出"), twipsRect(4320, 660, 1455, 450));
    cmdDevice = makeButton(this, "cmdDevice", QStringLiteral("デバイスマネージャ"), twipsRect(240, 3120, 1935, 495));
    cmdModem = makeButton(this, "cmdModem", QStringLiteral("モデム"), twipsRect(2280, 3120, 1095, 495));
    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(4080, 3120, 1335, 495));
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("キャンセル"), twipsRect(5520, 3120, 1440, 495));
    cmdModem->setToolTip(QStringLiteral("Linux にはモデムのコントロールパネルがありません。アダプタのデバイスは"
                                        "「デバイスマネージャ」で確かめられます。"));
    cmdModem->setEnabled(false);

    connect(cmdAdapter, &QPushButton::clicked, this, &frmAdapter::cmdAdapter_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmAdapter::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAdapter::cmdCancel_Click);
    connect(cmdDevice, &QPushButton::clicked, this, &frmAdapter::cmdDevice_Click);
    connect(cmdModem, &QPushButton::clicked, this, &frmAdapter::cmdModem_Click);
    connect(cboPort, &QComboBox::currentIndexChanged, this, &frmAdapter::showPortDevice);

    waitTimer.setObjectName(QStringLiteral("waitTimer"));
    waitTimer.setInterval(kReplyWait);
    connect(&waitTimer, &QTimer::timeout, this, &frmAdapter::waitTimer_Timer);
}

void frmAdapter::Form_Load()
{
    placeOn(m_mainWindow, m_state.systemSettings.iconFile);
    waitTimer.stop();
    if (!m_state.systemSettings.CommPort.isEmpty() && m_comm.IsPortOpen())
        m_comm.ClosePort();
    ShowAdapterStatus(true);
    LoadPropertySettings();
    if (m_state.adapterModel.isEmpty())
        lbMessage->setText(QStringLiteral("アダプタが未設定です。アダプタ検出をクリックしてください。"));
    // Shown when the start-up could not open the port, say: the reason and the remedy.
    if (!m_comm.openFailure().isEmpty())
        lbMessage->setText(m_comm.openFailure());
    showPortDevice();
}

void frmAdapter::LoadPropertySettings()
{
    for (int port = 1; port <= kPorts; ++port)
        cboPort->addItem(QStringLiteral("Com") + QString::number(port));
    // A filled list selects its first entry by itself; nothing is selected until the
    // settings say so.
    cboPort->setCurrentIndex(-1);

    cboKind->addItems({QString(), QStringLiteral("INS回線"), QStringLiteral("アナログ回線")});
    cboKind->setCurrentIndex(0);
    const QString& kind = m_state.adapterProfile.kind;
    if (kind == u"INS")
        cboKind->setCurrentIndex(1);
    else if (kind == u"ANALOG")
        cboKind->setCurrentIndex(2);

    cboAdapterName->addItem(QString());
    for (int n = 1; n <= kModels; ++n)
        cboAdapterName->addItem(m_state.adapterModels[static_cast<std::size_t>(n)]);
    cboAdapterName->setCurrentIndex(-1);

    const SystemSettings& s = m_state.systemSettings;
    // A stored value that names no entry stops here, leaving that list and the later ones
    // unselected.
    if (!s.adapter.isEmpty()) {
        const std::optional<int> entry = listEntryFor(s.adapter, 0, kModels + 1);
        if (!entry)
            return;
        cboAdapterName->setCurrentIndex(*entry);
    }
    if (!s.CommPort.isEmpty()) {
        const std::optional<int> entry = listEntryFor(s.CommPort, 1, kPorts);
        if (!entry)
            return;
        cboPort->setCurrentIndex(*entry);
    }
}

void frmAdapter::ShowAdapterStatus(bool enabled)
{
    const SystemSettings& s = m_state.systemSettings;
    if (s.CommPort.isEmpty() || s.adapter.isEmpty()) {
        lbMessage->setText(QStringLiteral("ポートと機種を指定し、「アダプタ検出」を実行してください。"));
        lbAdapterName->clear();
        lbKenshutu->setText(kUnset);
    } else if (m_state.appState == AppStateCode::AdapterFault) {
        lbMessage->setText(QStringLiteral("アダプタ異常"));
    } else {
        lbMessage->setText(QStringLiteral("現在のアダプタ設定で動作しています。"));
        lbAdapterName->setText(m_state.adapterModel);
        lbKenshutu->clear();
        if (!m_state.adapterProfile.kind.isEmpty())
            lbKind->setText(kindCaption(m_state.adapterProfile.kind));
    }
    cmdAdapter->setEnabled(enabled);
    cmdOK->setEnabled(enabled);
    cboPort->setEnabled(enabled);
}

void frmAdapter::EnableCommandButtons(bool enabled)
{
    for (QPushButton* button : {cmdAdapter, cmdOK, cmdCancel, cmdDevice})
        button->setEnabled(enabled);
    // There is no modem panel to open here.
    cmdModem->setEnabled(false);
}

void frmAdapter::showPortDevice()
{
    const int entry = cboPort->currentIndex();
    if (entry < 0) {
        lbPortDevice->clear();
        lbPortDevice->setToolTip(QString());
        return;
    }
    const QString device = deviceForPort(m_state, entry + 1);
    const QString arrow = QStringLiteral("→ ");
    const QString missing = QFileInfo::exists(device) ? QString() : QStringLiteral("（見つかりません）");
    // by-id names run long: the middle goes, the start and the serial number at the end
    // stay, and the whole name is in the tooltip.
    const QFontMetrics metrics(lbPortDevice->font());
    const int room = lbPortDevice->width() - metrics.horizontalAdvance(arrow + missing);
    lbPortDevice->setText(arrow + metrics.elidedText(device, Qt::ElideMiddle, room) + missing);
    lbPortDevice->setToolTip(device);
}

void frmAdapter::cmdAdapter_Click()
{
    const BusyScope busy(*this);
    EnableCommandButtons(false);
    cmdAdapter->setEnabled(false);
    lbAdapterName->clear();
    lbKind->clear();
    m_pauser.pause(kSettlePause);

    if (cboPort->currentIndex() < 0 || cboAdapterName->currentIndex() < 1) {
        m_beep();
        cboPort->setFocus();
        lbMessage->setText(QStringLiteral("ポートを指定してください。"));
        finishDetection(false);
        return;
    }

    m_mainWindow.popup().ShowMessage(QString(), kWait, kNoticeInterval, true);
    lbMessage->clear();
    lbKenshutu->setText(QStringLiteral("アダプタ検出中・・・"));
    lbAdapterName->clear();
    repaint();

    using Detection = AdapterConversation::Detection;
    AdapterConversation conversation(m_state, m_comm, m_pauser);
    const AdapterConversation::DetectionResult result =
        conversation.detect(cboPort->currentIndex() + 1, cboAdapterName->currentIndex(), waitTimer,
                            {kOpenPause, kBeforeIdentification, kReplyWait});
    m_detectedModelIndex = result.reply.modelIndex;
    switch (result.outcome) {
    case Detection::NoModel:
        lbKenshutu->setText(QStringLiteral("機種エラー"));
        finishDetection(false);
        return;
    case Detection::PortOpenFailed:
        lbKenshutu->setText(QStringLiteral("ポートオープンエラー"));
        lbMessage->setText(m_comm.openFailure());
        finishDetection(false);
        return;
    case Detection::Detected:
        lbAdapterName->setText(result.reply.model);
        // The adapter may have named a model of another line kind.
        lbKind->setText(kindCaption(m_state.adapterProfile.kind));
        lbKenshutu->setText(QStringLiteral("検出完了"));
        finishDetection(true);
        return;
    case Detection::NotDetected:
        lbKind->clear();
        lbKenshutu->setText(QStringLiteral("検出できませんでした"));
        finishDetection(false);
        return;
    }
}

void frmAdapter::finishDetection(bool success)
{
    if (!success) {
        m_state.systemSettings.CommPort.clear();
        m_state.systemSettings.adapter.clear();
        m_state.adapterProfile.kind.clear();
        lbAdapterName->clear();
    }
    m_mainWindow.popup().ShowMessage(QString(), QString(), 0, false);
    cmdAdapter->setEnabled(true);
    EnableCommandButtons(true);
    repaint();
}

void frmAdapter::waitTimer_Timer()
{
    m_comm.expireReplyWait(waitTimer);
}

int frmAdapter::SaveAdapterSettings()
{
    return writeAdapterSettings(m_state);
}

void frmAdapter::cmdOK_Click()
{
    SystemSettings& s = m_state.systemSettings;
    QString text;
    const bool incomplete = cboPort->currentIndex() < 0 || lbAdapterName->text().isEmpty();
    if (incomplete) {
        const QString question =
            QStringLiteral("\rアダプタ設定が完了していません。\rこのまま設定ファイルに書き込みますか？");
        if (showBox(question, MessageBoxes::Icon::Question, MessageBoxes::Buttons::YesNo) != MessageBoxes::Answer::Yes)
            return;
        s.COMMinit = QStringLiteral("False");
        s.CommPort.clear();
        s.adapter.clear();
        if (SaveAdapterSettings() > 0) {
            text = QStringLiteral("アダプタ設定を未完了で登録しました。");
            // The start-up goes on to the URL step; from the main window there is no step
            // to go on to, and the URL dialog's Cancel must not offer to end the program.
            if (m_state.appState == AppStateCode::AdapterStep)
                setAppState(AppStateCode::UrlStep);
        } else {
            s.COMMinit = QStringLiteral("False");
            text = QStringLiteral("INIファイルの書き込みに失敗しました。");
            setAppState(AppStateCode::Quit);
        }
    } else {
        if (m_detectedModelIndex != 0)
            s.adapter = QString::number(m_detectedModelIndex);
        s.COMMinit = QStringLiteral("True");
        if (SaveAdapterSettings() > 0) {
            text = adapterStoredText(m_state.adapterProfile.kind);
            setAppState(appStateAfterAdapterStored(m_state.appState, m_state.adapterProfile.kind));
        } else {
            s.COMMinit = QStringLiteral("False");
            text = QStringLiteral("INIファイルの書き込みに失敗しました。");
        }
    }
    if (!text.isEmpty() && !showBox(text, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok))
        return;
    done(Accepted);
}

void frmAdapter::cmdCancel_Click()
{
    cancelStep(AppStateCode::AdapterStep);
}

void frmAdapter::cmdDevice_Click()
{
    if (m_serialPorts) {
        m_serialPorts->raise();
        m_serialPorts->activateWindow();
        return;
    }
    const int port = cboPort->currentIndex() + 1;
    m_serialPorts = new frmSerialPorts(m_state, m_messageBoxes, port, m_lister, this);
    m_serialPorts->setAttribute(Qt::WA_DeleteOnClose);
    m_serialPorts->setWindowIcon(windowIcon());
    connect(m_serialPorts, &frmSerialPorts::assigned, this, &frmAdapter::showPortDevice);
    m_serialPorts->open();
}
