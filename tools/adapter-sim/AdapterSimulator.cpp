#include "AdapterSimulator.h"

#include "pty/PseudoTerminal.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <utility>

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kAck = 0x06;
constexpr char kCr = 0x0d;
constexpr char kLf = 0x0a;

QByteArray toLine(const QString& text)
{
    QStringEncoder encoder("CP932");
    return QByteArray(encoder.encode(text));
}

QString fromLine(const QByteArray& bytes)
{
    QStringDecoder decoder("CP932");
    return decoder.decode(bytes);
}

bool matches(const QString& command, const QString& entry)
{
    return !entry.isEmpty() && command == entry;
}

} // namespace

AdapterSimulator::AdapterSimulator(AdapterSimProfile profile, QObject* parent)
    : QObject(parent)
    , m_profile(std::move(profile))
    , m_identity(m_profile)
    , m_pty(std::make_unique<PseudoTerminal>())
{
    connect(m_pty.get(), &PseudoTerminal::bytesReceived, this, &AdapterSimulator::onBytes);
}

AdapterSimulator::~AdapterSimulator() = default;

bool AdapterSimulator::isValid() const
{
    return m_pty->isValid();
}

QString AdapterSimulator::errorString() const
{
    return m_pty->errorString();
}

QString AdapterSimulator::portPath()
{
    return m_pty->portPath();
}

QString AdapterSimulator::slavePath() const
{
    return m_pty->slavePath();
}

bool AdapterSimulator::makeLink(const QString& linkPath)
{
    return m_pty->makeLink(linkPath);
}

void AdapterSimulator::raiseCall(const QString& number)
{
    Q_EMIT logged(QStringLiteral("-- incoming call from %1").arg(number));
    if (m_profile.controlCodeFraming()) {
        if (number.size() > kFrameNumberLength)
            Q_EMIT logged(
                QStringLiteral("-- number longer than %1 characters, cut to fit the frame").arg(kFrameNumberLength));
        sendFramed(m_profile, frameText(callHeader(), number.left(kFrameNumberLength)));
        return;
    }
    // ISDN adapters separate the number from the further fields with one of ; / + or a
    // space, analog ones with a colon.
    const QString delimiter = m_profile.isIns() ? QStringLiteral(";") : QStringLiteral(":");
    sendFramed(m_profile, m_profile.ring + number + delimiter + QLatin1Char('1'));
}

void AdapterSimulator::sendLine(const QString& text)
{
    sendFramed(m_profile, text);
}

void AdapterSimulator::sendBytes(const QByteArray& bytes)
{
    transmit(bytes);
}

void AdapterSimulator::setSilent(bool silent)
{
    m_silent = silent;
    Q_EMIT logged(silent ? QStringLiteral("-- silent: commands are no longer answered")
                         : QStringLiteral("-- answering again"));
}

void AdapterSimulator::answerAs(const QString& model)
{
    if (model.isEmpty() || model == m_profile.model) {
        m_identity = m_profile;
    } else {
        m_identity = AdapterSimProfile::load(m_profile.settingsPath, model);
        if (m_identity.isEmpty()) {
            m_identity = m_profile;
            m_identity.model = model;
        }
    }
    Q_EMIT logged(QStringLiteral("-- identification answered as %1").arg(m_identity.model));
}

void AdapterSimulator::clearReceived()
{
    m_commands.clear();
    m_acks = 0;
}

QString AdapterSimulator::readable(const QByteArray& bytes)
{
    static const char* const kNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "TAB", "LF",
                                           "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                           "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    QString out;
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        if (end > runStart)
            out += fromLine(bytes.mid(runStart, end - runStart));
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        // CP932 trail bytes are never below 0x40, so control bytes always stand alone.
        if (b < 0x20 || b == 0x7f) {
            flushRun(i);
            out += QLatin1Char('<') + QLatin1String(b == 0x7f ? "DEL" : kNames[b]) + QLatin1Char('>');
            runStart = i + 1;
        }
    }
    flushRun(bytes.size());
    return out;
}

QString AdapterSimulator::frameText(const QString& header, const QString& number)
{
    return header.leftJustified(kFrameHeaderLength, QLatin1Char(' '), true) +
           number.rightJustified(kFrameNumberLength, QLatin1Char(' '), true);
}

void AdapterSimulator::onBytes(const QByteArray& bytes)
{
    m_pty->takeReceived(); // the signal already carries the bytes; keep the buffer from growing
    Q_EMIT logged(QStringLiteral("<< ") + readable(bytes));
    if (m_profile.controlCodeFraming())
        onFrameBytes(bytes);
    else
        onLineBytes(bytes);
}

void AdapterSimulator::onLineBytes(const QByteArray& bytes)
{
    for (const char b : bytes) {
        if (b == kCr) {
            // A bare CR is no command; a modem ignores it too.
            if (!m_pending.isEmpty())
                handleCommand(fromLine(std::exchange(m_pending, {})));
        } else if (static_cast<unsigned char>(b) >= 0x20) {
            m_pending += b;
        }
    }
}

void AdapterSimulator::onFrameBytes(const QByteArray& bytes)
{
    for (const char b : bytes) {
        if (b == kStx) {
            if (m_inFrame && !m_pending.isEmpty())
                Q_EMIT logged(QStringLiteral("-- frame without ETX dropped: ") + readable(m_pending));
            m_pending.clear();
            m_inFrame = true;
        } else if (b == kEtx) {
            if (!m_inFrame) {
                Q_EMIT logged(QStringLiteral("-- ETX outside a frame ignored"));
                continue;
            }
            m_inFrame = false;
            const QByteArray content = std::exchange(m_pending, {});
            if (content == QByteArray(1, kAck)) {
                ++m_acks;
                Q_EMIT ackReceived();
            } else if (content.isEmpty()) {
                Q_EMIT logged(QStringLiteral("-- empty frame ignored"));
            } else {
                handleCommand(fromLine(content));
            }
        } else if (m_inFrame) {
            m_pending += b;
        } else {
            Q_EMIT logged(QStringLiteral("-- byte outside a frame ignored: ") + readable(QByteArray(1, b)));
        }
    }
}

void AdapterSimulator::handleCommand(const QString& command)
{
    m_commands << command;
    Q_EMIT commandReceived(command);
    if (m_silent) {
        Q_EMIT logged(QStringLiteral("-- silent, not answering %1").arg(command));
        return;
    }

    if (matches(command, m_profile.getinfo) || matches(command, m_identity.getinfo)) {
        answerIdentification();
        return;
    }
    const bool isInitCommand = std::any_of(m_profile.icommand.begin(), m_profile.icommand.end(),
                                           [&](const QString& entry) { return matches(command, entry); });

    if (m_profile.controlCodeFraming()) {
        // The frame with a blank number field is this adapter's status answer, and the
        // program's watchdog polls with its first initialisation command.
        if (isInitCommand)
            sendFramed(m_profile, frameText(statusHeader(), QString()));
        else
            Q_EMIT logged(QStringLiteral("-- unknown command, no answer"));
        return;
    }

    for (int n = 1; n <= int(m_profile.getCtiInfo.size()); ++n) {
        if (matches(command, m_profile.getCtiInfo[n - 1])) {
            reply(m_profile.ctiInfo[n - 1] + ctiCode(n));
            return;
        }
    }
    if (handleCtiCommand(command) || isInitCommand) {
        reply(m_profile.ok);
        return;
    }
    if (!m_profile.err.isEmpty())
        reply(m_profile.err);
    else
        Q_EMIT logged(QStringLiteral("-- unknown command, no answer"));
}

void AdapterSimulator::answerIdentification()
{
    if (m_identity.controlCodeFraming())
        sendFramed(m_identity, frameText(m_identity.model, QString()));
    else if (m_identity.isIns())
        sendFramed(m_identity, m_identity.model + QStringLiteral(" Ver1.00"));
    else if (!m_identity.ok.isEmpty())
        sendFramed(m_identity, m_identity.ok);
    else
        Q_EMIT logged(QStringLiteral("-- the profile has no ok text, no identification answer"));
}

bool AdapterSimulator::handleCtiCommand(const QString& command)
{
    const AdapterSimProfile& p = m_profile;
    if (p.singleQueryScheme()) {
        const std::pair<const std::array<QString, 3>*, std::array<bool, 3>> groups[] = {
            {&p.cti_both, {true, true, false}}, {&p.cti_p1, {true, false, false}},   {&p.cti_p2, {false, true, false}},
            {&p.cti_p3, {false, false, true}},  {&p.cti_non, {false, false, false}},
        };
        for (const auto& [group, ports] : groups) {
            if (matches(command, (*group)[0])) {
                m_ctiPorts = ports;
                Q_EMIT logged(QStringLiteral("-- CTI now %1").arg(ctiDescription()));
                return true;
            }
        }
    } else {
        const std::array<const QString*, 3> prefixes = {&p.cti_p1[0], &p.cti_p2[0], &p.cti_p3[0]};
        for (std::size_t port = 0; port < prefixes.size(); ++port) {
            const QString& prefix = *prefixes[port];
            if (prefix.isEmpty() || command.size() != prefix.size() + 1 || !command.startsWith(prefix))
                continue;
            const QChar value = command.back();
            if (value == QLatin1Char('1') || value == QLatin1Char('0')) {
                m_ctiPorts[port] = value == QLatin1Char('1');
                Q_EMIT logged(QStringLiteral("-- CTI now %1").arg(ctiDescription()));
                return true;
            }
        }
    }
    // The later commands of a group (saving the setting, for example) only need an answer.
    for (const auto* group : {&p.cti_both, &p.cti_p1, &p.cti_p2, &p.cti_p3, &p.cti_non}) {
        if (matches(command, (*group)[1]) || matches(command, (*group)[2]))
            return true;
    }
    return false;
}

QString AdapterSimulator::ctiCode(int query) const
{
    if (m_profile.singleQueryScheme()) {
        if (m_ctiPorts[0] && m_ctiPorts[1])
            return m_profile.rsp1_Both;
        if (m_ctiPorts[0])
            return m_profile.rsp1_P1;
        if (m_ctiPorts[1])
            return m_profile.rsp1_P2;
        return m_profile.rsp1_NN;
    }
    // Queries beyond the third name no port; such a port never notifies.
    const bool on = query <= int(m_ctiPorts.size()) && m_ctiPorts[std::size_t(query - 1)];
    return on ? m_profile.rsp2_on : m_profile.rsp2_off;
}

QString AdapterSimulator::ctiDescription() const
{
    QStringList ports;
    for (std::size_t i = 0; i < m_ctiPorts.size(); ++i)
        ports << QStringLiteral("port%1 %2").arg(i + 1).arg(m_ctiPorts[i] ? QLatin1String("on") : QLatin1String("off"));
    return ports.join(QLatin1String(", "));
}

void AdapterSimulator::reply(const QString& text)
{
    if (text.isEmpty()) {
        Q_EMIT logged(QStringLiteral("-- the profile has no text for this answer, none sent"));
        return;
    }
    sendFramed(m_profile, text);
}

void AdapterSimulator::sendFramed(const AdapterSimProfile& framing, const QString& text)
{
    if (framing.controlCodeFraming())
        transmit(kStx + toLine(text) + kEtx);
    else
        transmit(toLine(text) + kCr + kLf);
}

void AdapterSimulator::transmit(const QByteArray& bytes)
{
    Q_EMIT logged(QStringLiteral(">> ") + readable(bytes));
    if (!m_pty->write(bytes))
        Q_EMIT logged(QStringLiteral("-- write to the pseudo-terminal failed"));
}

QString AdapterSimulator::callHeader() const
{
    return QDateTime::currentDateTime().toString(QStringLiteral("MMddHHmm")) + QLatin1Char('1');
}

QString AdapterSimulator::statusHeader() const
{
    return QDateTime::currentDateTime().toString(QStringLiteral("MMddHHmm")) + QLatin1Char('0');
}
