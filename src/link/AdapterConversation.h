#pragma once

#include "app/SharedState.h"

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class frmComm;
class Pauser;
class QTimer;

/// The conversation with the adapter that the start-up, the settings dialogs and the standby
/// button hold over the serial link: the configured port opened, the initialisation, the
/// identification, standby on and off, and the CTI settings read out and sent. Widget-free
/// and without state of its own: each operation returns its outcome, the caller shows it.
class AdapterConversation
{
public:
    AdapterConversation(SharedState& state, frmComm& comm, Pauser& pauser);

    /// `CommPort` as a port number, 1 to 32767; none when it names no port.
    std::optional<std::int16_t> configuredPort() const;
    /// Opens the configured port unless the port is open. True when it is open afterwards.
    bool openConfiguredPort();
    /// Closes the port and opens the configured one again. True when it is open afterwards.
    bool reopenConfiguredPort();

    /// An ISDN profile's initialisation commands, each followed by the events it brought.
    void sendInitialisation();
    struct Identification
    {
        ReplyStatus status = ReplyStatus::Waiting;
        /// The model the reply named and its entry in the list (0: none); a reply that names
        /// none leaves what the last check or detection found.
        QString model;
        std::int16_t modelIndex = 0;
    };
    /// Sends `getinfo` and waits for the reply in `mode` on `timer` (the link's own without).
    Identification identify(RcvMode mode, QTimer& timer, std::chrono::milliseconds interval);
    Identification identify(RcvMode mode, std::chrono::milliseconds interval);

    /// The start-up's check: the configured port opened, the initialisation sent, then after
    /// `pause` the adapter identified as the configured model within `replyWait`.
    bool checkConfiguredAdapter(std::chrono::milliseconds pause, std::chrono::milliseconds replyWait);

    enum class Detection
    {
        NoModel,
        PortOpenFailed,
        NotDetected,
        Detected
    };
    struct DetectionPauses
    {
        std::chrono::milliseconds afterOpen;
        std::chrono::milliseconds beforeIdentification;
        std::chrono::milliseconds replyWait;
    };
    struct DetectionResult
    {
        Detection outcome = Detection::NotDetected;
        Identification reply;
    };
    /// Looks for the adapter of list entry `model` on COM `port`; a reply naming a model of the
    /// list makes that model and its profile the configured ones. The wait runs on `timer`.
    DetectionResult detect(int port, int model, QTimer& timer, const DetectionPauses& pauses);

    enum class StandbyStart
    {
        Started,
        NotConfigured,
        PortOpenFailed
    };
    /// Opens the port afresh and stands by, with the watchdog when the profile wants it.
    StandbyStart startStandby();
    void stopStandby();

    struct CtiReadOut
    {
        bool complete = false;
        /// The last reply wait's outcome.
        ReplyStatus status = ReplyStatus::Waiting;
        /// `ctiSettings1..3` as the replies gave them (empty where none did); none when nothing was asked.
        std::optional<std::array<QString, 3>> values;
    };
    /// Asks for each port's CTI setting on the open port.
    CtiReadOut readOutCti(QTimer& timer, std::chrono::milliseconds replyWait);

    enum class CtiSendOutcome
    {
        PortOpenFailed,
        SendFailed,
        Sent
    };
    /// Opens the port afresh, initialises the adapter and sends the commands for the ports
    /// `notify` marks (asked for once the initialisation is out: the user may still change
    /// them meanwhile). Sent, the values are in `ctiSettings1..3`.
    CtiSendOutcome sendCti(const std::function<std::array<bool, 3>()>& notify, std::chrono::milliseconds afterOpen,
                           std::chrono::milliseconds afterInitialisation);

private:
    SharedState& m_state;
    frmComm& m_comm;
    Pauser& m_pauser;
};
