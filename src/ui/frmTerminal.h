#pragma once

#include "calls/CallDisplay.h"
#include "link/TerminalWindow.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <memory>

class CallFollower;
class DialogOpeners;
class MessageBoxes;
class PhoneBook;
class Pauser;
class CallDispatch;
class CallEvents;
class TaskTray;
class frmComm;
class frmCutting;
class frmMessage;
struct SharedState;

/// The main window: the standby toggle, the settings buttons (which open their dialogs
/// through the message popup), hiding to the tray icon, the exit, and for service staff the
/// debug-mode switch and the debug terminal. While it exists the serial link shows the
/// standby state and received text in it and the call dispatch shows the caller's number.
///
/// The program ends only through `Form_Unload`, reached by "終了" (button or tray menu) or
/// by the window manager's close button, which cannot cancel it; `unloaded` is emitted at
/// its end.
class frmTerminal final : public QWidget, public TerminalWindow, public CallDisplay
{
    Q_OBJECT

public:
    static constexpr auto kUnloadPause = std::chrono::milliseconds(1000);
    static constexpr auto kStartTimerInterval = std::chrono::milliseconds(1000);
    static constexpr auto kIdentificationGuard = std::chrono::milliseconds(10000);
    /// How long the popup shows before it opens a settings dialog.
    static constexpr int kDialogDelayMs = 2000;
    static constexpr int kNoticeMs = 3000;

    /// Loads the window hidden (`Form_Load`) and attaches it to the serial link and the
    /// call dispatch.
    frmTerminal(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, frmComm& comm, CallDispatch& dispatch,
                TaskTray& tray, DialogOpeners& openers, QWidget* parent = nullptr);
    ~frmTerminal() override;

    /// The message popup, which exists as long as this window.
    frmMessage& popup() { return *m_popup; }

    void EnableCommandButtons(bool enabled);
    /// Follows the office's calls with `follower` while standby is on, and shows in the tray
    /// whether it listens, and why not; a new reason also in a tray message.
    void attachFollower(CallFollower& follower);
    /// The following settings in memory have changed: following starts again over them, or
    /// stops, and a desk whose standby was the listening alone leaves standby when it no
    /// longer follows.
    void followSettingsChanged();

    // The standby toggle: stops standby when `cbMachiuke` reads "待ち受け停止", starts it when
    // it reads "待ち受け開始", then shows the state reached in the tray. On a desk that follows
    // the office's calls without an adapter, standby is the listening alone.
    void cbMachiuke_Click();
    /// Settings button 1 to 3: stops standby if it is on, then has the popup open the
    /// dialog named by the button's caption two seconds later.
    void cbSetting_Click(int Index);
    /// Hides the window to the tray; where the desktop has no tray, minimises it instead.
    void cbMenteEnd_Click();
    void cbExit_Click();
    /// With Alt held: switches debug mode for the next start.
    void ImgCti_DblClick();
    /// The start timer: starts standby once `appState` is 105, then stops.
    void Timer1_Timer();
    /// The identification guard, ten seconds after load.
    void waitTimer_Timer();
    void mnuMachiuke_Click() { cbMachiuke_Click(); }
    void mnuSettings_Click();
    void mnuExit_Click() { close(); }
    /// The tray icon's click notifications: a right-button press pops up `mnuContext`,
    /// every other click is ignored.
    void Form_MouseMove(QSystemTrayIcon::ActivationReason reason);

    // TerminalWindow
    void setWindowIconFile(const QString& path) override;
    void setMachiukeCaption(const QString& caption) override;
    void setMnuMachiukeCaption(const QString& caption) override { mnuMachiuke->setText(caption); }
    void repaintWindow() override { repaint(); }
    QString terminalText() const override { return txtTerm->toPlainText(); }
    void setTerminalText(const QString& text) override;
    /// Adds the tray icon for the standby caption: the off icon for "待ち受け開始", the
    /// built-in on icon for "待ち受け停止". While an icon is shown, this changes nothing.
    void setTaskTray(const QString& caption) override;
    void removeTaskTray() override;

    /// Ends the program as "終了" does, without the unload's pause: the session is ending.
    void endAtOnce();

    // CallDisplay
    void setRecvData(const QString& number) override { txtRecvData->setText(number); }
    /// What people are told of the caller (`Caller::lines`) as `txtRecvData`'s tip:
    /// the window's controls stay where they are.
    void setCaller(const std::optional<Caller>& caller) override;
    /// The phone book whose state the tray's tip tells.
    void attachPhoneBook(PhoneBook& book);
    /// The events whose counts of today's waiting calls the tray's tip, menu and icon tell.
    void attachCallEvents(CallEvents& events);

    QLabel* ImgCti = nullptr;
    QPushButton* cbMachiuke = nullptr;
    /// `cbSetting[1]` to `cbSetting[3]`; entry 0 is not used.
    std::array<QPushButton*, 4> cbSetting{};
    QPushButton* cbMenteEnd = nullptr;
    QPushButton* cbExit = nullptr;
    QLineEdit* txtRecvData = nullptr;
    QPlainTextEdit* txtTerm = nullptr;
    QTimer Timer1;
    QTimer waitTimer;
    QMenu* mnuContext = nullptr;
    QAction* mnuMachiuke = nullptr;
    QAction* mnuSettings = nullptr;
    /// "着信履歴", also reached by Ctrl+H in this window.
    QAction* mnuHistory = nullptr;
    /// "着信のフォロー": the settings of following the office's calls.
    QAction* mnuFollow = nullptr;
    /// "電話帳", also reached by Ctrl+B in this window.
    QAction* mnuPhoneBook = nullptr;
    QAction* mnuExit = nullptr;
    /// 「未対応 N件」 and 「伝言 N件」: today's calls nobody has taken, and those with a message
    /// for the person at this desk; shown while the history has events.
    QAction* mnuOpenCalls = nullptr;
    QAction* mnuMessages = nullptr;

Q_SIGNALS:
    /// The unload sequence has ended: the program should end now.
    void unloaded();
    /// The user asked for the call-history window.
    void historyRequested();
    /// The user asked for the settings of following the office's calls.
    void followSettingsRequested();
    /// The user asked for the phone book.
    void phoneBookRequested();
    /// The user asked for the history's calls nobody has taken, or for the messages left for
    /// the person at this desk.
    void openCallsRequested();
    void messagesRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void Form_Load();
    void InitMainWindow();
    /// The height for the loaded mode and the window manager's frame (see mainWindowClientHeight).
    void fitHeightToFrame();
    void Form_Paint();
    void Form_Unload();
    /// Keys typed into `txtTerm` while the port is open go to the adapter; true when the
    /// key was taken.
    bool txtTerm_KeyPress(const QString& typed);
    QIcon offIcon();
    /// Starts or stops following as the standby shown says.
    void followStandby();
    /// The icon for the standby caption, and that with today's waiting calls counted on it.
    QIcon standbyIcon(const QString& caption);
    QIcon trayIcon(const QString& caption);
    QString trayTip() const;
    void refreshTray();
    void detach();

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    Pauser& m_pauser;
    frmComm& m_comm;
    CallDispatch& m_dispatch;
    TaskTray& m_tray;
    CallFollower* m_follower = nullptr;
    PhoneBook* m_phoneBook = nullptr;
    CallEvents* m_events = nullptr;
    frmMessage* m_popup = nullptr;
    std::unique_ptr<frmCutting> m_offIconHolder;
    bool m_unloading = false;
    bool m_endingAtOnce = false;
    bool m_painted = false;
    bool m_attached = false;
};
