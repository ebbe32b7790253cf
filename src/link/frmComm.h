#pragma once

#include "app/MessageBoxes.h"
#include "app/Pause.h"
#include "app/SharedState.h"
#include "link/Cp932.h"
#include "link/ReceiveQueue.h"
#include "link/ReceiveRoutines.h"
#include "link/TerminalWindow.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>

/// The serial host form: the adapter's one port `MSComm1`, the start-up reply timer
/// `waitTimer` and the standby watchdog `watchTimer`, with the port operations, the receive
/// event and the command exchange. Never shown; lives on the user-interface thread.
class frmComm : public QObject, private ReceiveQueue::Link
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    static constexpr auto kWaitInterval = std::chrono::milliseconds(9000);
    static constexpr auto kWatchInterval = std::chrono::milliseconds(5000);
    /// Polls in a row that may go unanswered before the adapter counts as silent. One stray
    /// byte of line noise just before an answer glues itself to it, and that line is no
    /// answer; the next poll's answer comes clean.
    static constexpr int kUnansweredPolls = 2;
    static constexpr auto kCommandPause = std::chrono::milliseconds(1000);
    static constexpr auto kRtsPulse = std::chrono::milliseconds(100);
    static constexpr auto kReplyPoll = std::chrono::milliseconds(100);
    static constexpr auto kClosePause = std::chrono::milliseconds(200);
    static constexpr auto kDrainDeadline = std::chrono::seconds(10);

    frmComm(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, ReceiveRoutines& routines,
            QObject* parent = nullptr);
    /// Closes the port (as `Form_Unload`) if it is still open.
    ~frmComm() override;

    /// The main window while it is loaded; null otherwise. Must be reset before the window
    /// is destroyed.
    void setTerminalWindow(TerminalWindow* window) { m_terminal = window; }
    /// The clock that `ClosePort`'s drain deadline is measured with.
    void setClock(std::function<Clock::time_point()> now) { m_now = std::move(now); }

    QSerialPort MSComm1;

    /// Applies `settings`, `CommPort` and `Handshaking` to the port and empties `rxLine`.
    /// A rejected value is reported in a message box and ends the configuration there.
    void ConfigurePort();
    /// Opens COM port `port` (0: the configured `CommPort`) and refreshes the standby
    /// indication. True when the requested port is open afterwards.
    bool OpenPort(std::int16_t port);
    /// Stops the watchdog, lets pending output drain for up to kDrainDeadline (not at all
    /// in `appState` 999), closes the port, refreshes the standby indication, pauses 200 ms.
    void ClosePort();
    bool IsPortOpen() const { return MSComm1.isOpen(); }
    /// Why the device refused the last OpenPort, in a sentence for the user (the device, the
    /// reason and the remedy); empty when it did not refuse.
    const QString& openFailure() const { return m_openFailure; }
    /// Main window icon and `cbMachiuke` caption from the port and `appState`.
    void UpdateStandbyStatus();
    /// Appends received text to the debug terminal `txtTerm`, bounded, with backspaces applied.
    void AppendToTerminal(const QString& text);
    /// Bytes not yet transmitted: Qt's buffer plus, where the driver tells, the driver's.
    qint64 OutBufferCount() const;

    /// The receive event: reads everything waiting and hands complete lines or frames to the
    /// receive routines, one at a time and in arrival order. Bytes that arrive while a command
    /// is being sent, or while a routine is still busy with an earlier line (a message box
    /// open), wait and are handled after it, in order.
    void MSComm1_OnComm();

    /// Forgets what was read and not yet handed to the routines (the program ends).
    void dropWaitingLines();

    /// Frames and transmits one command, then pauses 1000 ms. False, without the pause,
    /// when the port is closed or the bytes cannot be written; the caller decides. Nothing
    /// received is processed before it returns.
    bool SendCommand(const QString& command);
    /// Transmits one character unframed, without pause or trace. False when it cannot.
    bool SendRawChar(std::uint16_t code);

    /// The reply wait: sets `rcvMode` to `mode` and the reply's status to 0, sends `command`,
    /// then runs `timer` with `interval` and alternates 100 ms pauses with event processing
    /// until the status is set. While it waits, `timer`'s tick applies expireReplyWait.
    /// Returns the status (1, -1 or -999); -999 at once when the command cannot be sent.
    ReplyStatus WaitForReply(RcvMode mode, const QString& command, QTimer& timer, std::chrono::milliseconds interval);
    /// The same on the link's own `waitTimer`.
    ReplyStatus WaitForReply(RcvMode mode, const QString& command, std::chrono::milliseconds interval = kWaitInterval);
    bool isReplyWaitRunning() const { return waitTimer.isActive(); }
    /// What the receive routines made of the replies: the model named, the CTI read-out.
    ReplyExchange& reply() { return m_routines.reply(); }
    /// The link sets `rcvMode` and `appState` here only.
    void setReceiveMode(RcvMode mode) { m_state.rcvMode = mode; }
    void setAppState(AppStateCode code) { m_state.appState = code; }
    /// The wait-timer rule: the reply's status 0 becomes -999; the timer stops in any case.
    void expireReplyWait(QTimer& timer);

    void waitTimer_Timer() { expireReplyWait(waitTimer); }
    /// Starts the standby watchdog with its poll counted as answered, or stops it.
    void startWatchdog();
    void stopWatchdog() { watchTimer.stop(); }
    bool isWatchdogRunning() const { return watchTimer.isActive(); }
    /// The standby watchdog: polls with `icommand1`, or ends standby when kUnansweredPolls
    /// polls in a row went unanswered. Acts only in `appState` 105, and not while received
    /// data waits to be handled (a receive routine holds a message box open, or calls come
    /// faster than they are handled): the adapter's answer may be waiting behind it.
    void watchTimer_Timer();

signals:
    /// The watchdog has polled the adapter (whether or not the poll could be sent).
    void watchdogPolled();

private:
    QTimer waitTimer;
    QTimer watchTimer;

    QByteArray readWaiting() override;
    qint64 bytesWaiting() const override;
    bool controlCodeFraming() const override;
    qint64 unitRead(const QByteArray& unit, bool controlCode, const QDateTime& receivedAt) override;
    void handle(const ReceiveQueue::Event& event) override;
    void handlingDone() override;
    void fragmentDropped(const QByteArray& fragment) override;
    void declareAdapterFault();
    void portVanished();
    bool transmit(const QByteArray& bytes);
    void setRts(bool on);
    QString assignCommPort(long long port);
    void showExclamation(const QString& text);
    void portErrorOccurred(QSerialPort::SerialPortError error);
    bool deviceHungUp() const;

    SharedState& m_state;
    MessageBoxes& m_messageBoxes;
    Pauser& m_pauser;
    ReceiveRoutines& m_routines;
    TerminalWindow* m_terminal = nullptr;
    std::function<Clock::time_point()> m_now = &Clock::now;

    int m_commPort = 1;
    ReceiveQueue m_received{*this};
    Cp932Decoder m_displayDecoder;
    bool m_faultAfterHold = false;
    /// Polls since the adapter last answered one.
    int m_unansweredPolls = 0;
    quint64 m_openGeneration = 0;
    QString m_openFailure;
};
