#include "link/AdapterConversation.h"

#include "app/Pause.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "link/CtiCommands.h"
#include "link/frmComm.h"

#include <QCoreApplication>

#include <limits>

AdapterConversation::AdapterConversation(SharedState& state, frmComm& comm, Pauser& pauser)
    : m_state(state)
    , m_comm(comm)
    , m_pauser(pauser)
{}

std::optional<std::int16_t> AdapterConversation::configuredPort() const
{
    // A port number that is no number, or 0 or less, names no port. (Handed on, 0 would mean
    // "the configured port" and open whichever port the link used last.)
    const std::optional<long long> port = readAsNumber(m_state.systemSettings.CommPort);
    if (!port || *port < 1 || *port > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(*port);
}

bool AdapterConversation::openConfiguredPort()
{
    if (!m_comm.IsPortOpen())
        if (const std::optional<std::int16_t> port = configuredPort())
            m_comm.OpenPort(*port);
    return m_comm.IsPortOpen();
}

bool AdapterConversation::reopenConfiguredPort()
{
    m_comm.ClosePort();
    return openConfiguredPort();
}

void AdapterConversation::sendInitialisation()
{
    const AdapterProfile& profile = m_state.adapterProfile;
    if (profile.kind != u"INS")
        return;
    for (int i = 1; i <= profile.icommandCount; ++i) {
        m_comm.SendCommand(profile.icommand[static_cast<std::size_t>(i)]);
        QCoreApplication::processEvents();
    }
}

AdapterConversation::Identification AdapterConversation::identify(RcvMode mode, QTimer& timer,
                                                                  std::chrono::milliseconds interval)
{
    const ReplyStatus status = m_comm.WaitForReply(mode, m_state.adapterProfile.getinfo, timer, interval);
    return {status, m_comm.reply().detectedModel, m_comm.reply().detectedModelIndex};
}

AdapterConversation::Identification AdapterConversation::identify(RcvMode mode, std::chrono::milliseconds interval)
{
    const ReplyStatus status = m_comm.WaitForReply(mode, m_state.adapterProfile.getinfo, interval);
    return {status, m_comm.reply().detectedModel, m_comm.reply().detectedModelIndex};
}

bool AdapterConversation::checkConfiguredAdapter(std::chrono::milliseconds pause, std::chrono::milliseconds replyWait)
{
    // Forgotten before the initialisation goes out: a reply to it that names a model counts too.
    m_comm.reply().detectedModelIndex = 0;
    m_comm.reply().detectedModel.clear();
    const bool open = openConfiguredPort();
    m_comm.setReceiveMode(RcvMode::Initial);
    if (!open)
        return false;
    sendInitialisation();
    m_pauser.pause(pause);
    // The mode stays as it is: when the main window's identification guard has gone off
    // meanwhile, the reply is not taken for an identification.
    const Identification reply = identify(m_state.rcvMode, replyWait);
    return reply.status == ReplyStatus::Handled && reply.model == m_state.adapterModel;
}

AdapterConversation::DetectionResult AdapterConversation::detect(int port, int model, QTimer& timer,
                                                                 const DetectionPauses& pauses)
{
    SystemSettings& s = m_state.systemSettings;
    m_comm.reply().detectedModelIndex = 0;
    m_comm.reply().detectedModel.clear();
    s.CommPort = QString::number(port);
    m_comm.ClosePort();
    m_comm.setReceiveMode(RcvMode::Initial);

    s.adapter = QString::number(model);
    const QString name = m_state.adapterModels[static_cast<std::size_t>(model)];
    if (name.isEmpty())
        return {Detection::NoModel, {}};
    LoadAdapterProfile(m_state, name);
    m_state.adapterModel = name;

    m_comm.OpenPort(static_cast<std::int16_t>(port));
    m_pauser.pause(pauses.afterOpen);
    m_comm.setReceiveMode(RcvMode::Initial);
    if (!m_comm.IsPortOpen())
        return {Detection::PortOpenFailed, {}};

    sendInitialisation();
    m_pauser.pause(pauses.beforeIdentification);
    // Replies handled while the initialisation commands went out do not count: the wait
    // starts the flag afresh.
    const Identification reply = identify(RcvMode::Initial, timer, pauses.replyWait);
    // A reply that named no model of the list is no detection: the model, the profile and the
    // receive mode stay as they were.
    if (reply.status != ReplyStatus::Handled || reply.model.isEmpty())
        return {Detection::NotDetected, reply};
    timer.stop();
    m_state.adapterModel = reply.model;
    s.CommPort = QString::number(port);
    LoadAdapterProfile(m_state, m_state.adapterModel);
    m_comm.setReceiveMode(RcvMode::GetAInfo);
    return {Detection::Detected, reply};
}

AdapterConversation::StandbyStart AdapterConversation::startStandby()
{
    if (m_state.systemSettings.CommPort.isEmpty())
        return StandbyStart::NotConfigured;
    m_comm.setAppState(AppStateCode::StandbyOn);
    m_comm.setReceiveMode(RcvMode::Idle);
    if (m_comm.IsPortOpen())
        m_comm.ClosePort();
    m_comm.OpenPort(0);
    if (!m_comm.IsPortOpen()) {
        m_comm.setAppState(AppStateCode::AdapterFault);
        return StandbyStart::PortOpenFailed;
    }
    if (readAsBoolean(m_state.adapterProfile.watch).value_or(false))
        m_comm.startWatchdog();
    else
        m_comm.stopWatchdog();
    return StandbyStart::Started;
}

void AdapterConversation::stopStandby()
{
    m_comm.setAppState(AppStateCode::StandbyOff);
    m_comm.setReceiveMode(RcvMode::Initial);
    m_comm.ClosePort();
}

AdapterConversation::CtiReadOut AdapterConversation::readOutCti(QTimer& timer, std::chrono::milliseconds replyWait)
{
    const AdapterProfile& profile = m_state.adapterProfile;
    ReplyExchange& reply = m_comm.reply();
    CtiReadOut result;
    // A profile whose scheme cannot be read has replies the receive processing refuses:
    // nothing is asked, and the read-out ends as an error.
    if (const std::optional<CtiScheme> scheme = ctiScheme(profile)) {
        reply.ctiSettings = {};
        const int last = lastCtiQuery(profile, *scheme);
        reply.ctiQueryIndex = 1;
        for (;;) {
            const QString& query = profile.getCtiInfo[static_cast<std::size_t>(reply.ctiQueryIndex)];
            result.status = m_comm.WaitForReply(RcvMode::GetAInfo, query, timer, replyWait);
            if (result.status != ReplyStatus::Handled)
                break;
            if (reply.ctiQueryIndex + 1 > last) {
                m_comm.setReceiveMode(RcvMode::ReadOutDone);
                break;
            }
            ++reply.ctiQueryIndex;
            if (m_state.rcvMode != RcvMode::GetAInfo)
                break;
        }
        result.values = reply.ctiSettings;
    }
    result.complete = m_state.rcvMode == RcvMode::ReadOutDone;
    return result;
}

AdapterConversation::CtiSendOutcome AdapterConversation::sendCti(const std::function<std::array<bool, 3>()>& notify,
                                                                 std::chrono::milliseconds afterOpen,
                                                                 std::chrono::milliseconds afterInitialisation)
{
    const bool open = reopenConfiguredPort();
    m_pauser.pause(afterOpen);
    m_comm.setReceiveMode(RcvMode::Initial);
    if (!open)
        return CtiSendOutcome::PortOpenFailed;
    sendInitialisation();
    m_pauser.pause(afterInitialisation);

    const AdapterProfile& profile = m_state.adapterProfile;
    const std::optional<CtiScheme> scheme = ctiScheme(profile);
    if (!scheme)
        return CtiSendOutcome::SendFailed;
    const CtiSend send = ctiSendFor(profile, *scheme, notify());
    for (const QString& command : send.commands) {
        // A command that cannot go out (the device gone) means the adapter does not hold
        // what would be stored.
        const bool sent = m_comm.SendCommand(command);
        QCoreApplication::processEvents();
        if (!sent)
            return CtiSendOutcome::SendFailed;
    }
    SystemSettings& s = m_state.systemSettings;
    s.ctiSettings1 = send.values[0];
    s.ctiSettings2 = send.values[1];
    s.ctiSettings3 = send.values[2];
    return CtiSendOutcome::Sent;
}
