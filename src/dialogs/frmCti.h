#pragma once

#include "dialogs/SettingsDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>

class Pauser;
class frmComm;
class frmTerminal;
struct SharedState;

/// The CTI settings dialog ("ＣＴＩ設定"): whether an ISDN adapter notifies incoming calls on
/// each of its up to three ports, read out of the adapter, sent to it, and kept in
/// settings.ini. Start-up shows it modally in the CTI step; the main window's settings
/// button opens it modeless. OK and Cancel set `appState` and close it; closed any other
/// way it leaves `appState` alone.
class frmCti final : public SettingsDialog
{
    Q_OBJECT

public:
    static constexpr auto kInitialWait = std::chrono::milliseconds(5000);
    static constexpr auto kReplyWait = std::chrono::milliseconds(8000);
    static constexpr auto kSettlePause = std::chrono::milliseconds(200);
    static constexpr auto kOpenPause = std::chrono::milliseconds(300);
    static constexpr auto kAfterInitialisation = std::chrono::milliseconds(1000);
    static constexpr std::int32_t kReadOutNotice = 1000;
    /// More than the popup's timer takes, so the notice stays until the send hides it.
    static constexpr std::int32_t kSendNotice = 100000;

    /// Loads the dialog (`Form_Load`): placed on the main window's top-left corner, the
    /// port closed, the stored CTI settings shown.
    frmCti(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm, frmTerminal& mainWindow);

    void cmdCti_Click();
    void cmdCtiSetting_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void waitTimer_Timer();

    void EnableCommandButtons(bool enabled);
    void ShowCtiStatus();
    void ShowCtiPorts();
    /// See readWriteCtiSettings.
    int ReadWriteCtiSettings(const QString& mode);

    /// `frCtiSettings[1]` to `[3]`, `lbP[1]` to `[3]`; entry 0 is not used.
    std::array<QGroupBox*, 4> frCtiSettings{};
    std::array<QLabel*, 4> lbP{};
    /// Index 0 "通知する", index 1 "通知しない".
    std::array<QRadioButton*, 2> opCti1{};
    std::array<QRadioButton*, 2> opCti2{};
    std::array<QRadioButton*, 2> opCti3{};
    QPushButton* cmdCti = nullptr;
    QPushButton* cmdCtiSetting = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* lbMessage = nullptr;
    QLabel* lbKenshutu = nullptr;
    QLabel* lbPort = nullptr;
    QLabel* lbAdapterName = nullptr;
    QLabel* lbKind = nullptr;
    std::array<QLabel*, 2> Label1{};
    QTimer waitTimer;

private:
    void createControls();
    void Form_Load();
    /// The option buttons of port n (1 to 3).
    std::array<QRadioButton*, 2>& opCti(int port);
    void selectNotify(int port, bool notify);

    Pauser& m_pauser;
    frmComm& m_comm;
    frmTerminal& m_mainWindow;
};
