#pragma once

#include "dialogs/SettingsDialog.h"
#include "dialogs/frmSerialPorts.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

class Pauser;
class frmComm;
class frmTerminal;
struct SharedState;

/// The adapter settings dialog ("アダプタ設定"): the COM port and the model of the adapter,
/// detected on that port and stored in settings.ini. Start-up shows it modally in the
/// adapter step; the main window's settings button opens it modeless. OK and Cancel set
/// `appState` and close it; closed any other way it leaves `appState` alone.
class frmAdapter final : public SettingsDialog
{
    Q_OBJECT

public:
    static constexpr auto kReplyWait = std::chrono::milliseconds(5000);
    static constexpr auto kSettlePause = std::chrono::milliseconds(300);
    static constexpr auto kOpenPause = std::chrono::milliseconds(500);
    static constexpr auto kBeforeIdentification = std::chrono::milliseconds(1000);
    /// More than the popup's timer takes, so the notice stays until detection hides it.
    static constexpr std::int32_t kNoticeInterval = 1000000;
    static constexpr int kPorts = 16;
    static constexpr int kModels = 5;

    /// Loads the dialog (`Form_Load`): placed on the main window's top-left corner, the
    /// port closed, the lists and labels filled from the settings in memory.
    frmAdapter(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm, frmTerminal& mainWindow);

    void cmdAdapter_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    /// Opens the serial-ports window for the COM number chosen in `cboPort`.
    void cmdDevice_Click();
    /// Nothing to open on this platform; the button stays disabled.
    void cmdModem_Click() {}
    void waitTimer_Timer();

    void LoadPropertySettings();
    void ShowAdapterStatus(bool enabled);
    void EnableCommandButtons(bool enabled);
    /// See writeAdapterSettings.
    int SaveAdapterSettings();

    /// The system beep of a refused detection; tests listen instead.
    void setBeep(std::function<void()> beep) { m_beep = std::move(beep); }
    /// Where the serial-ports window gets its list; tests give their own.
    void setSerialPortLister(frmSerialPorts::Lister lister) { m_lister = std::move(lister); }
    /// The serial-ports window while it is open.
    frmSerialPorts* serialPortsWindow() const { return m_serialPorts; }

    QComboBox* cboPort = nullptr;
    /// Beside `cboPort`: the device the chosen COM number stands for, and whether it exists.
    QLabel* lbPortDevice = nullptr;
    QComboBox* cboAdapterName = nullptr;
    QComboBox* cboKind = nullptr;
    QPushButton* cmdAdapter = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdDevice = nullptr;
    QPushButton* cmdModem = nullptr;
    QLabel* lbMessage = nullptr;
    QLabel* lbKenshutu = nullptr;
    QLabel* lbAdapterName = nullptr;
    QLabel* lbKind = nullptr;
    std::array<QLabel*, 4> Label1{};
    QTimer waitTimer;

private:
    void createControls();
    void Form_Load();
    void showPortDevice();
    void finishDetection(bool success);

    Pauser& m_pauser;
    frmComm& m_comm;
    frmTerminal& m_mainWindow;
    std::function<void()> m_beep;
    frmSerialPorts::Lister m_lister;
    QPointer<frmSerialPorts> m_serialPorts;
    /// The list entry the last detection's reply named (0: none); OK stores it.
    std::int16_t m_detectedModelIndex = 0;
};
