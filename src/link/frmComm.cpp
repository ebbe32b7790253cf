#include "link/frmComm.h"

#include "app/SettingText.h"
#include "app/Settings.h"
#include "link/Cp932.h"
#include "link/LineSettings.h"
#include "link/PortDevice.h"
#include "link/SerialAccessHint.h"
#include "link/TerminalText.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QScopeGuard>

#include <cstdio>
#include <optional>
#include <thread>
#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#endif

namespace {

constexpr char kStx = 2;
constexpr char kEtx = 3;
constexpr char kCr = 13;
constexpr char16_t kAck = 6;

// The one model that wants an RTS pulse and STX/ETX framing around every command.
const QString kRtsPulseModel = QStringLiteral("ソラノT1");

// How long a command may take to reach the driver before we stop waiting for it; normally
// the driver takes a command at once.
constexpr auto kHandOverTimeout = std::chrono::milliseconds(1000);
constexpr auto kDrainPoll = std::chrono::milliseconds(10);

} // namespace

frmComm::frmComm(SharedState& state, MessageBoxes& messageBoxes, Pauser& pauser, ReceiveRoutines& routines,
                 QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_pauser(pauser)
    , m_routines(routines)
{
    setObjectName(QStringLiteral("frmComm"));
    waitTimer.setInterval(kWaitInterval);
    watchTimer.setInterval(kWatchInterval);
    connect(&waitTimer, &QTimer::timeout, this, &frmComm::waitTimer_Timer);
    connect(&watchTimer, &QTimer::timeout, this, &frmComm::watchTimer_Timer);
    connect(&MSComm1, &QSerialPort::readyRead, this, &frmComm::MSComm1_OnComm);
    connect(&MSComm1, &QSerialPort::errorOccurred, this, &frmComm::portErrorOccurred);
}

frmComm::~frmComm()
{
    // The main window may already be gone at shutdown.
    m_terminal = nullptr;
    if (MSComm1.isOpen())
        ClosePort();
}

void frmComm::showExclamation(const QString& text)
{
    m_messageBoxes.show(text, m_state.systemSettings.appName, MessageBoxes::Icon::Exclamation,
                        MessageBoxes::Buttons::Ok);
}

QString frmComm::assignCommPort(long long port)
{
    if (port < 1 || port > 32767)
        return QStringLiteral("ポート番号「%1」が正しくありません。").arg(port);
    if (MSComm1.isOpen() && port != m_commPort)
        return QStringLiteral("ポートが開いているため、ポート番号を変更できません。");
    m_commPort = static_cast<int>(port);
    return {};
}

void frmComm::ConfigurePort()
{
    // A partial line from an earlier session must not prefix the first line of this one,
    // so this happens even when the configuration stops early.
    m_received.restart();

    const SystemSettings& system = m_state.systemSettings;
    const QString& settings = m_state.adapterProfile.settings;
    if (!settings.isEmpty()) {
        const auto parsed = parseLineSettings(settings);
        QString failure = parsed.error;
        if (parsed.value) {
            // On a closed port these only record the values; they take effect on open.
            const bool applied =
                MSComm1.setBaudRate(parsed.value->baudRate) && MSComm1.setParity(parsed.value->parity) &&
                MSComm1.setDataBits(parsed.value->dataBits) && MSComm1.setStopBits(parsed.value->stopBits);
            if (!applied) {
                failure = MSComm1.errorString();
                MSComm1.clearError();
            }
        }
        if (!failure.isEmpty()) {
            showExclamation(failure);
            return;
        }
    }

    QString lastFailure;
    if (!system.CommPort.isEmpty()) {
        const auto port = readAsNumber(system.CommPort);
        lastFailure =
            port ? assignCommPort(*port) : QStringLiteral("ポート番号「%1」が正しくありません。").arg(system.CommPort);
    }
    if (!system.Handshaking.isEmpty()) {
        const auto parsed = parseHandshaking(system.Handshaking);
        if (!parsed.error.isEmpty()) {
            lastFailure = parsed.error;
        } else if (!MSComm1.setFlowControl(*parsed.value)) {
            lastFailure = MSComm1.errorString();
            MSComm1.clearError();
        }
        // Without Handshaking a rejected CommPort goes unreported; the open then simply
        // uses the port number the control already had.
        if (!lastFailure.isEmpty()) {
            showExclamation(lastFailure);
            return;
        }
    }

    // RTS is raised after the open (a closed port cannot switch it). Receive and send
    // thresholds of one byte and binary input are how QSerialPort always works.
    setRts(true);
}

bool frmComm::OpenPort(std::int16_t port)
{
    m_openFailure.clear();
    ConfigurePort();
    bool requestedPort = true;
    if (port != 0)
        requestedPort = assignCommPort(port).isEmpty();

    if (requestedPort && !MSComm1.isOpen()) {
        const QString device = deviceForPort(m_state, m_commPort);
        MSComm1.setPortName(device);
        if (MSComm1.open(QIODevice::ReadWrite)) {
            ++m_openGeneration;
            setRts(true);
        } else {
            // Callers report a failed open in their own words and add this below them;
            // whoever reads the terminal or the trace learns it as well.
            switch (MSComm1.error()) {
            case QSerialPort::PermissionError:
                m_openFailure = serialAccessHint(probeDeviceAccess(device));
                break;
            case QSerialPort::DeviceNotFoundError:
                m_openFailure = QStringLiteral("%1 が見つかりません。アダプタの接続と、「アダプタ設定」の"
                                               "「デバイスマネージャ」でポートの割り当てを確かめてください。")
                                    .arg(device);
                break;
            default:
                m_openFailure = QStringLiteral("%1: %2").arg(device, MSComm1.errorString());
                break;
            }
            std::fprintf(stderr, "chakushin: %s\n", qPrintable(m_openFailure));
            DebugLog(m_state, m_openFailure);
            MSComm1.clearError();
        }
    }
    // A port number that could not be taken over must not pass for success just because
    // another port is open.
    const bool result = MSComm1.isOpen() && requestedPort;
    UpdateStandbyStatus();
    return result;
}

qint64 frmComm::OutBufferCount() const
{
    if (!MSComm1.isOpen())
        return 0;
    qint64 count = MSComm1.bytesToWrite();
#ifdef Q_OS_LINUX
    int queued = 0;
    if (::ioctl(MSComm1.handle(), TIOCOUTQ, &queued) == 0 && queued > 0)
        count += queued;
#endif
    return count;
}

void frmComm::ClosePort()
{
    watchTimer.stop();
    if (m_state.appState == AppStateCode::AdapterFault) {
        // The adapter has been declared faulty: whatever is still queued will never be answered.
        if (MSComm1.isOpen())
            MSComm1.close();
    } else if (MSComm1.isOpen()) {
        const Clock::time_point deadline = m_now() + kDrainDeadline;
        while (OutBufferCount() != 0) {
            QCoreApplication::processEvents();
            if (m_now() >= deadline)
                break;
            if (OutBufferCount() != 0)
                std::this_thread::sleep_for(kDrainPoll);
        }
        // Events processed above may have closed the port already.
        if (MSComm1.isOpen())
            MSComm1.close();
    }
    MSComm1.clearError();
    UpdateStandbyStatus();
    m_pauser.pause(kClosePause);
}

void frmComm::UpdateStandbyStatus()
{
    if (!m_terminal)
        return;
    const SystemSettings& system = m_state.systemSettings;
    const bool standbyOn = IsPortOpen() && m_state.appState == AppStateCode::StandbyOn;
    m_terminal->setWindowIconFile(pathInAppDir(m_state.appDir, standbyOn ? system.iconFile_on : system.iconFile_off));
    m_terminal->setMachiukeCaption(standbyOn ? kStandbyOnCaption : kStandbyOffCaption);
}

void frmComm::AppendToTerminal(const QString& text)
{
    if (!m_terminal)
        return;
    m_terminal->setTerminalText(appendToTerminalText(m_terminal->terminalText(), text));
}

QByteArray frmComm::readWaiting()
{
    if (!MSComm1.isOpen())
        return {};
    QByteArray bytes = MSComm1.readAll();
    while (MSComm1.bytesAvailable() > 0)
        bytes += MSComm1.readAll();
    return bytes;
}

qint64 frmComm::bytesWaiting() const
{
    if (!MSComm1.isOpen())
        return 0;
    qint64 count = MSComm1.bytesAvailable();
#ifdef Q_OS_UNIX
    int queued = 0;
    if (::ioctl(MSComm1.handle(), FIONREAD, &queued) == 0 && queued > 0)
        count += queued;
#endif
    return count;
}

bool frmComm::controlCodeFraming() const
{
    return receiveRoutineFor(m_state.adapterProfile) == ReceiveRoutine::ControlCode;
}

qint64 frmComm::unitRead(const QByteArray& unit, bool controlCode, const QDateTime& receivedAt)
{
    return m_routines.lineRead(fromCp932(unit), controlCode, receivedAt);
}

void frmComm::MSComm1_OnComm()
{
    m_received.arrived();
}

void frmComm::handle(const ReceiveQueue::Event& event)
{
    if (event.controlCode) {
        // One acknowledgement per receive event, whatever it carried.
        SendCommand(QString(QChar(kAck)));
    }
    for (qsizetype i = 0; i < event.units.size(); ++i) {
        const QString text = fromCp932(event.units[i]);
        const Arrival arrival(event.receivedAt, event.journalKeys.value(i));
        if (event.controlCode) {
            m_routines.rcvProcessT1(text, arrival);
        } else {
            DebugLog(m_state, QStringLiteral("**RCV - ") + text);
            if (receiveRoutineFor(m_state.adapterProfile) == ReceiveRoutine::Isdn)
                m_routines.rcvProcess(text, arrival);
            else
                m_routines.rcvProcessA(text, arrival);
        }
        if (const std::optional<WatchAck> answer = std::exchange(reply().watchAnswer, std::nullopt))
            m_state.watchAck = *answer;
    }

    if (isDebugMode(m_state)) {
        // One decoder across events, so a character split between two reads shows intact.
        const QString shown = m_displayDecoder.decode(event.bytes);
        DebugLog(m_state, QStringLiteral("Receive - ") + shown);
        AppendToTerminal(shown + QStringLiteral("\r\n"));
    }
}

void frmComm::handlingDone()
{
    if (std::exchange(m_faultAfterHold, false) && m_state.appState == AppStateCode::StandbyOn)
        declareAdapterFault();
}

void frmComm::dropWaitingLines()
{
    if (const std::size_t dropped = m_received.drop(); dropped != 0)
        DebugLog(m_state, QStringLiteral("%1 receive events left unhandled").arg(dropped));
}

void frmComm::fragmentDropped(const QByteArray& fragment)
{
    DebugLog(m_state, QStringLiteral("**DROP - ") + fromCp932(fragment));
}

void frmComm::setRts(bool on)
{
    if (!MSComm1.isOpen() || MSComm1.flowControl() == QSerialPort::HardwareControl)
        return;
    // Some lines (a pseudo-terminal, some USB adapters) cannot switch RTS; a command must
    // not fail for that.
    if (!MSComm1.setRequestToSend(on))
        MSComm1.clearError();
}

bool frmComm::transmit(const QByteArray& bytes)
{
    if (!MSComm1.isOpen() || MSComm1.write(bytes) != bytes.size()) {
        MSComm1.clearError();
        return false;
    }
    // QSerialPort writes from the event loop; hand the bytes to the driver now, or they
    // would sit unsent through the pause that follows.
    const QDeadlineTimer deadline(kHandOverTimeout);
    while (MSComm1.isOpen() && MSComm1.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!MSComm1.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    const bool failed = MSComm1.error() != QSerialPort::NoError && MSComm1.error() != QSerialPort::TimeoutError;
    MSComm1.clearError();
    return MSComm1.isOpen() && !failed;
}

bool frmComm::SendCommand(const QString& command)
{
    if (!MSComm1.isOpen())
        return false;
    m_received.beginSend();
    const auto sent = qScopeGuard([this] { m_received.endSend(); });
    DebugLog(m_state, QStringLiteral("****SND--") + command + u'[' + QString::number(OutBufferCount()) + u']');

    QByteArray bytes;
    if (m_state.adapterModel == kRtsPulseModel) {
        setRts(false);
        m_pauser.pause(kRtsPulse);
        setRts(true);
        m_pauser.pause(kRtsPulse);
        bytes = kStx + toCp932(command) + kEtx;
    } else {
        bytes = toCp932(command) + kCr;
    }
    if (!transmit(bytes))
        return false;
    m_pauser.pause(kCommandPause);
    return true;
}

bool frmComm::SendRawChar(std::uint16_t code)
{
    m_received.beginSend();
    const auto sent = qScopeGuard([this] { m_received.endSend(); });
    return transmit(toCp932(QString(QChar(code))));
}

void frmComm::expireReplyWait(QTimer& timer)
{
    if (reply().status == ReplyStatus::Waiting)
        reply().status = ReplyStatus::TimedOut;
    timer.stop();
}

ReplyStatus frmComm::WaitForReply(RcvMode mode, const QString& command, QTimer& timer,
                                  std::chrono::milliseconds interval)
{
    setReceiveMode(mode);
    ReplyStatus& status = reply().status;
    status = ReplyStatus::Waiting;
    if (!SendCommand(command)) {
        // Nothing went out, so no reply can come.
        status = ReplyStatus::TimedOut;
        return status;
    }

    // Our own wait timer is already connected to waitTimer_Timer.
    QMetaObject::Connection tick;
    if (&timer != &waitTimer)
        tick = connect(&timer, &QTimer::timeout, this, [this, &timer] { expireReplyWait(timer); });
    timer.setInterval(interval);
    timer.start();
    while (status == ReplyStatus::Waiting) {
        m_pauser.pause(kReplyPoll);
        QCoreApplication::processEvents();
    }
    timer.stop();
    if (tick)
        disconnect(tick);
    return status;
}

ReplyStatus frmComm::WaitForReply(RcvMode mode, const QString& command, std::chrono::milliseconds interval)
{
    return WaitForReply(mode, command, waitTimer, interval);
}

void frmComm::startWatchdog()
{
    m_state.watchAck = WatchAck::Answered;
    m_unansweredPolls = 0;
    watchTimer.start();
}

void frmComm::watchTimer_Timer()
{
    if (m_state.appState != AppStateCode::StandbyOn)
        return;
    // Neither poll nor judge until what has come is handled: the answer may be in it.
    if (m_received.waits())
        return;
    // Line noise next to an answer spoils only that answer; nothing received is thrown away
    // for it (a partial line may be the start of a call), the adapter is asked once more.
    if (m_state.watchAck == WatchAck::Answered)
        m_unansweredPolls = 0;
    else if (++m_unansweredPolls >= kUnansweredPolls) {
        declareAdapterFault();
        return;
    }
    m_state.watchAck = WatchAck::Outstanding;
    // A poll that cannot be sent stays unanswered like any other.
    SendCommand(m_state.adapterProfile.icommand[1]);
    emit watchdogPolled();
}

void frmComm::declareAdapterFault()
{
    watchTimer.stop();
    setAppState(AppStateCode::AdapterFault);
    if (m_terminal) {
        m_terminal->removeTaskTray();
        m_terminal->setMnuMachiukeCaption(kStandbyOffCaption);
        m_terminal->setMachiukeCaption(kStandbyOffCaption);
        m_terminal->repaintWindow();
        m_terminal->setTaskTray(kStandbyOffCaption);
    }
    m_messageBoxes.show(QStringLiteral("アダプタに異常が検出されました。"), m_state.systemSettings.appName,
                        MessageBoxes::Icon::Critical, MessageBoxes::Buttons::Ok);
    ClosePort();
}

bool frmComm::deviceHungUp() const
{
#ifdef Q_OS_UNIX
    // A device that went away leaves its descriptor hung up; Qt then reports each read of
    // the hung-up line as an error of whatever kind errno happened to hold.
    pollfd descriptor{static_cast<int>(MSComm1.handle()), POLLIN, 0};
    return ::poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void frmComm::portErrorOccurred(QSerialPort::SerialPortError error)
{
    // The device went away (a USB adapter unplugged). Deal with it once control is back in
    // the event loop, not inside QSerialPort's own notification. Every other error
    // notification is ignored.
    const bool vanished = error == QSerialPort::ResourceError ||
                          ((error == QSerialPort::ReadError || error == QSerialPort::WriteError) && deviceHungUp());
    if (!vanished)
        return;
    const quint64 generation = m_openGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_openGeneration && MSComm1.isOpen())
                portVanished();
        },
        Qt::QueuedConnection);
}

void frmComm::portVanished()
{
    // Closed at once: left open, the hung-up line would raise read errors without end, also
    // while a message box is up.
    MSComm1.close();
    MSComm1.clearError();
    UpdateStandbyStatus();
    if (m_state.appState != AppStateCode::StandbyOn)
        return;
    // Standby without its adapter listens to nothing: the same verdict as a silent adapter,
    // whether or not the profile has the watchdog on. While a routine's box is open, the
    // verdict follows once the waiting lines have been handled.
    if (m_received.isHandling())
        m_faultAfterHold = true;
    else
        declareAdapterFault();
}
