#include "dialogs/frmCti.h"

#include "app/Pause.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "dialogs/DialogSettings.h"
#include "link/AdapterConversation.h"
#include "link/CtiCommands.h"
#include "link/frmComm.h"
#include "ui/FormControls.h"
#include "ui/JapaneseFont.h"
#include "ui/Twips.h"
#include "ui/frmMessage.h"
#include "ui/frmTerminal.h"

#include <tuple>

namespace {

constexpr int kClientWidth = 7200;
constexpr int kClientHeight = 4320;
constexpr int kPorts = 3;

const QString kWait = QStringLiteral("しばらくお待ちください・・・");
const QString kWriteFailed = QStringLiteral("INIファイルの書き込みに失敗しました。");
const QString kStored = QStringLiteral("CTI設定を登録しました。");
const QString kPortOpenError = QStringLiteral("ポートオープンエラー");
const QString kSendError = QStringLiteral("CTI設定送信エラー");

bool isOn(const QString& value)
{
    return readAsNumber(value) == 1;
}

} // namespace

frmCti::frmCti(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm, frmTerminal& mainWindow)
    : SettingsDialog(state, messageBoxes, QStringLiteral("frmCti"), QStringLiteral("ＣＴＩ設定"), kClientWidth,
                     kClientHeight)
    , m_pauser(pauser)
    , m_comm(comm)
    , m_mainWindow(mainWindow)
{
    createControls();
    Form_Load();
}

void frmCti::createControls()
{
    Label1[0] =
        makeLabel(this, QStringLiteral("Label1_0"), QStringLiteral("接続アダプタ"), twipsRect(240, 240, 1335, 255));
    Label1[1] =
        makeLabel(this, QStringLiteral("Label1_1"), QStringLiteral("回線の種類"), twipsRect(240, 600, 1335, 255));
    lbAdapterName = makeLabel(this, QStringLiteral("lbAdapterName"), QString(), twipsRect(1680, 240, 3135, 255));
    lbPort = makeLabel(this, QStringLiteral("lbPort"), QString(), twipsRect(4920, 240, 2040, 255));
    lbKind = makeLabel(this, QStringLiteral("lbKind"), QString(), twipsRect(1680, 600, 3135, 255));

    const char* const portCaptions[] = {"", "ポート１", "ポート２", "ポート３"};
    for (int port = 1; port <= kPorts; ++port) {
        QGroupBox* frame = makeFrame(this, QStringLiteral("frCtiSettings%1").arg(port), QString(),
                                     twipsRect(240 + (port - 1) * 2280, 960, 2160, 1335));
        frCtiSettings[static_cast<std::size_t>(port)] = frame;
        lbP[static_cast<std::size_t>(port)] =
            makeLabel(frame, QStringLiteral("lbP%1").arg(port), QString::fromUtf8(portCaptions[port]),
                      twipsRect(120, 180, 1935, 255));
        std::array<QRadioButton*, 2>& buttons = opCti(port);
        const char* const captions[] = {"通知する", "通知しない"};
        for (int index = 0; index < 2; ++index) {
            auto* button = new QRadioButton(QString::fromUtf8(captions[index]), frame);
            button->setObjectName(QStringLiteral("opCti%1_%2").arg(port).arg(index));
            button->setGeometry(twipsRect(240, 540 + index * 360, 1815, 300));
            button->setFont(japaneseFont(kButtonPointSize));
            buttons[static_cast<std::size_t>(index)] = button;
        }
    }

    lbKenshutu = makeLabel(this, QStringLiteral("lbKenshutu"), QString(), twipsRect(240, 2400, 6720, 255));
    lbMessage = makeLabel(this, QStringLiteral("lbMessage"), QString(), twipsRect(240, 2760, 6720, 615));
    lbMessage->setWordWrap(true);
    lbMessage->setFrameShape(QFrame::StyledPanel);

    cmdCti = makeButton(this, "cmdCti", QStringLiteral("CTI 検出"), twipsRect(240, 3600, 1455, 495));
    cmdCtiSetting = makeButton(this, "cmdCtiSetting", QStringLiteral("設定"), twipsRect(1800, 3600, 1455, 495));
    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(4080, 3600, 1335, 495));
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("キャンセル"), twipsRect(5520, 3600, 1440, 495));
    connect(cmdCti, &QPushButton::clicked, this, &frmCti::cmdCti_Click);
    connect(cmdCtiSetting, &QPushButton::clicked, this, &frmCti::cmdCtiSetting_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmCti::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmCti::cmdCancel_Click);

    waitTimer.setObjectName(QStringLiteral("waitTimer"));
    waitTimer.setInterval(kInitialWait);
    connect(&waitTimer, &QTimer::timeout, this, &frmCti::waitTimer_Timer);
}

std::array<QRadioButton*, 2>& frmCti::opCti(int port)
{
    return port == 1 ? opCti1 : port == 2 ? opCti2 : opCti3;
}

void frmCti::selectNotify(int port, bool notify)
{
    opCti(port)[notify ? 0 : 1]->setChecked(true);
}

void frmCti::Form_Load()
{
    placeOn(m_mainWindow, m_state.systemSettings.iconFile);
    waitTimer.stop();
    if (!m_state.systemSettings.CommPort.isEmpty() && m_comm.IsPortOpen())
        m_comm.ClosePort();
    ReadWriteCtiSettings(QStringLiteral("READ"));
    ShowCtiStatus();
}

void frmCti::ShowCtiStatus()
{
    const SystemSettings& s = m_state.systemSettings;
    const bool adapterSet = readAsBoolean(s.COMMinit).value_or(false);
    bool enable = true;
    if (s.CommPort.isEmpty() || s.adapter.isEmpty() || !adapterSet) {
        lbMessage->setText(QStringLiteral("アダプタ設定が完了していません。"));
        enable = false;
    } else if (m_state.appState == AppStateCode::AdapterFault) {
        lbMessage->setText(QStringLiteral("アダプタ異常"));
        enable = false;
    } else {
        // The two lines are broken with a carriage return; Qt lays text out by LF.
        lbMessage->setText(QStringLiteral("「CTI検出」をクリックすると、アダプタからCTI設定情報を取得します。\r"
                                          "「設定」をクリックすると、アダプタへCTI設定情報送信します。")
                               .replace(u'\r', u'\n'));
    }
    if (m_state.adapterProfile.kind == u"ANALOG") {
        lbMessage->setText(QStringLiteral("アナログ回線では、CTI設定は不要です。"));
        enable = false;
    }
    cmdCti->setEnabled(enable);
    cmdCtiSetting->setEnabled(enable);
    cmdOK->setEnabled(enable);
    if (adapterSet) {
        lbPort->setText(QStringLiteral("COM") + s.CommPort);
        lbAdapterName->setText(m_state.adapterModel);
    }
    if (lbAdapterName->text().isEmpty())
        lbKenshutu->setText(QStringLiteral("未設定"));
    else
        lbKenshutu->clear();
    lbKind->setText(kindCaption(m_state.adapterProfile.kind));
    ShowCtiPorts();
}

void frmCti::ShowCtiPorts()
{
    const AdapterProfile& p = m_state.adapterProfile;
    const std::array<const QString*, 4> captions = {nullptr, &p.port1, &p.port2, &p.port3};
    const SystemSettings& s = m_state.systemSettings;
    const std::array<const QString*, 4> stored = {nullptr, &s.ctiSettings1, &s.ctiSettings2, &s.ctiSettings3};
    for (int port = 1; port <= kPorts; ++port) {
        const auto n = static_cast<std::size_t>(port);
        lbP[n]->setText(*captions[n]);
        frCtiSettings[n]->setVisible(!captions[n]->isEmpty());
        selectNotify(port, isOn(*stored[n]));
    }
}

void frmCti::EnableCommandButtons(bool enabled)
{
    for (QPushButton* button : {cmdCti, cmdCtiSetting, cmdOK, cmdCancel})
        button->setEnabled(enabled);
}

int frmCti::ReadWriteCtiSettings(const QString& mode)
{
    return readWriteCtiSettings(m_state, mode);
}

void frmCti::cmdCti_Click()
{
    const BusyScope busy(*this);
    EnableCommandButtons(false);
    cmdCti->setEnabled(false);
    m_mainWindow.popup().ShowMessage(QString(), kWait, kReadOutNotice, true);
    lbKenshutu->clear();
    m_pauser.pause(kSettlePause);

    AdapterConversation conversation(m_state, m_comm, m_pauser);
    const bool open = conversation.reopenConfiguredPort();
    m_pauser.pause(kOpenPause);
    m_comm.setReceiveMode(RcvMode::GetAInfo);

    SystemSettings& s = m_state.systemSettings;
    if (s.adapter.isEmpty() || !readAsBoolean(s.COMMinit).value_or(false)) {
        // Nothing to read out from.
    } else if (!open) {
        lbKenshutu->setText(kPortOpenError);
        lbMessage->setText(m_comm.openFailure());
    } else {
        const AdapterConversation::CtiReadOut readOut = conversation.readOutCti(waitTimer, kReplyWait);
        // Kept in memory as far as it came: OK stores what was last read out.
        if (const auto& v = readOut.values)
            std::tie(s.ctiSettings1, s.ctiSettings2, s.ctiSettings3) = std::tie((*v)[0], (*v)[1], (*v)[2]);
        const std::array<const QString*, 3> values = {&s.ctiSettings1, &s.ctiSettings2, &s.ctiSettings3};
        for (int port = 1; port <= kPorts; ++port)
            selectNotify(port, readOut.complete && isOn(*values[static_cast<std::size_t>(port - 1)]));
        lbKenshutu->setText(ctiReadOutCaption(readOut.complete, readOut.status));
    }

    cmdCti->setEnabled(true);
    EnableCommandButtons(true);
}

void frmCti::cmdCtiSetting_Click()
{
    const BusyScope busy(*this);
    EnableCommandButtons(false);
    cmdCtiSetting->setEnabled(false);
    m_mainWindow.popup().ShowMessage(QString(), kWait, kSendNotice, true);
    lbKenshutu->clear();
    m_pauser.pause(kSettlePause);

    QString text;
    if (m_state.adapterProfile.kind == u"INS") {
        using Outcome = AdapterConversation::CtiSendOutcome;
        AdapterConversation conversation(m_state, m_comm, m_pauser);
        const auto selections = [this] {
            return std::array<bool, 3>{opCti1[0]->isChecked(), opCti2[0]->isChecked(), opCti3[0]->isChecked()};
        };
        switch (conversation.sendCti(selections, kOpenPause, kAfterInitialisation)) {
        case Outcome::PortOpenFailed:
            lbKenshutu->setText(kPortOpenError);
            lbMessage->setText(m_comm.openFailure());
            lbAdapterName->clear();
            break;
        case Outcome::SendFailed:
            lbKenshutu->setText(kSendError);
            break;
        case Outcome::Sent:
            lbKenshutu->setText(QStringLiteral("CTI設定送信完了"));
            if (ReadWriteCtiSettings(QStringLiteral("WRITE")) > 0) {
                text = kStored;
                setAppState(appStateAfterCtiStored(m_state.appState));
            } else {
                text = kWriteFailed;
            }
            break;
        }
    }

    m_mainWindow.popup().ShowMessage(QString(), QString(), 0, false);
    // Busy, the dialog cannot have gone while the box was open.
    if (!text.isEmpty())
        showBox(text, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
    cmdCtiSetting->setEnabled(true);
    EnableCommandButtons(true);
}

void frmCti::cmdOK_Click()
{
    // The values in memory, as last read out, sent or loaded; the option buttons are not read.
    QString text;
    if (ReadWriteCtiSettings(QStringLiteral("WRITE")) > 0) {
        text = kStored;
        setAppState(appStateAfterCtiStored(m_state.appState));
    } else {
        text = kWriteFailed;
    }
    if (showBox(text, MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok))
        done(Accepted);
}

void frmCti::cmdCancel_Click()
{
    cancelStep(AppStateCode::CtiStep);
}

void frmCti::waitTimer_Timer()
{
    m_comm.expireReplyWait(waitTimer);
}
