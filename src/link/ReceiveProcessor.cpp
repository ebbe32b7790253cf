#include "link/ReceiveProcessor.h"

#include "app/MessageBoxes.h"
#include "app/SettingText.h"
#include "app/Settings.h"
#include "app/SharedState.h"
#include "calls/NumberExtraction.h"

#include <exception>
#include <utility>

namespace {

// Replies shorter than this are line noise (a stray CR LF pair, an echo of one key).
constexpr qsizetype kShortestReply = 3;
// Prefixes are recognised by their first four characters only.
constexpr qsizetype kPrefixLength = 4;
constexpr int kLastCtiQuery = 5;
constexpr int kLastCtiPort = 3;

const QString kOn = QStringLiteral("1");
const QString kOff = QStringLiteral("0");

// The first n characters of the line (all of it if shorter) equal the first n characters
// of `x` (all of it if shorter). A shorter `x` therefore only lets the line equal to it pass.
bool beginsWithFirstOf(const QString& line, const QString& x, qsizetype n)
{
    return line.left(n) == x.left(n);
}

CallFailure queryIndexOutOfRange(int index, int last)
{
    return CallFailure{QStringLiteral("CTI情報の問い合わせ番号（ctiQueryIndex）が範囲外です（値：%1、範囲：1～%2）")
                           .arg(index)
                           .arg(last)};
}

} // namespace

ReceiveProcessor::ReceiveProcessor(SharedState& state, MessageBoxes& messageBoxes, CallDispatch& dispatch)
    : m_state(state)
    , m_messageBoxes(messageBoxes)
    , m_dispatch(dispatch)
{}

// The serial link calls the routines from a Qt slot, so nothing may be thrown out of them:
// a failure returned by the rules and anything thrown by the launcher or the history both
// end here in the routine's message.
template<typename Body> void ReceiveProcessor::trapped(const QString& label, Body&& body)
{
    Outcome failure;
    try {
        failure = std::forward<Body>(body)();
    } catch (const std::exception& e) {
        failure = CallFailure{QStringLiteral("予期しないエラーが発生しました（") + QString::fromUtf8(e.what()) + u'）'};
    } catch (...) {
        failure = CallFailure{QStringLiteral("予期しないエラーが発生しました")};
    }
    if (failure)
        m_messageBoxes.show(label + failure->description, m_state.systemSettings.appName, MessageBoxes::Icon::None,
                            MessageBoxes::Buttons::Ok);
}

void ReceiveProcessor::rcvProcess(const QString& line, const Arrival& arrival)
{
    trapped(QStringLiteral("rcvProcess:"), [&]() -> Outcome {
        switch (m_state.rcvMode) {
        case RcvMode::Initial:
            return isdnInitial(line);
        case RcvMode::GetAInfo:
            return isdnGetAInfo(line);
        case RcvMode::Idle:
            return isdnIdle(line, arrival);
        default:
            return std::nullopt;
        }
    });
}

void ReceiveProcessor::rcvProcessA(const QString& line, const Arrival& arrival)
{
    trapped(QStringLiteral("rcvProcessA:"), [&]() -> Outcome {
        switch (m_state.rcvMode) {
        case RcvMode::Initial:
            return analogInitial(line);
        case RcvMode::Idle:
            return analogIdle(line, arrival);
        default:
            return std::nullopt;
        }
    });
}

void ReceiveProcessor::rcvProcessT1(const QString& frame, const Arrival& arrival)
{
    trapped(QStringLiteral("rcvProcessT1:"), [&]() -> Outcome {
        switch (m_state.rcvMode) {
        case RcvMode::Initial:
            return t1Initial(frame);
        case RcvMode::Idle:
            return t1Idle(frame, arrival);
        default:
            return std::nullopt;
        }
    });
}

qint64 ReceiveProcessor::lineRead(const QString& text, bool frame, const QDateTime& receivedAt)
{
    if (m_state.rcvMode != RcvMode::Idle)
        return 0;
    std::optional<QString> number;
    if (frame) {
        // An empty number is the watchdog's answer, not a call.
        if (text.size() == NumberExtraction::kT1FrameLength)
            if (QString digits = NumberExtraction::t1Number(text); !digits.isEmpty())
                number = std::move(digits);
    } else if (isNotification(text)) {
        number = m_state.adapterProfile.kind == u"INS"
                     ? NumberExtraction::isdnNumber(text, m_state.adapterProfile.ring)
                     : NumberExtraction::analogNumber(text, m_state.adapterProfile.ring);
    }
    return number ? m_dispatch.journal(*number, receivedAt) : 0;
}

ReceiveProcessor::Outcome ReceiveProcessor::isdnInitial(const QString& line)
{
    DebugLog(m_state, QStringLiteral("rcv--INITIAL"));
    if (line.size() < kShortestReply) {
        DebugLog(m_state, QStringLiteral("rcv--musi") + line);
        return std::nullopt;
    }
    // A call arriving while the adapter is being identified is not its reply.
    if (beginsWithFirstOf(line, m_state.adapterProfile.ring, kPrefixLength))
        return std::nullopt;

    for (int i = 1; i <= 5; ++i) {
        const QString& model = m_state.adapterModels[static_cast<std::size_t>(i)];
        // An empty name occurs in every line, so an empty slot before the real name wins.
        if (model.isEmpty() || line.contains(model, Qt::CaseSensitive)) {
            reply().detectedModelIndex = static_cast<std::int16_t>(i);
            reply().detectedModel = model;
            break;
        }
    }
    // Any reply ends the wait; the waiting code compares the detected model itself.
    reply().status = ReplyStatus::Handled;
    return std::nullopt;
}

ReceiveProcessor::Outcome ReceiveProcessor::isdnGetAInfo(const QString& line)
{
    DebugLog(m_state, QStringLiteral("rcv--GETAINFO"));
    if (line.size() < kShortestReply) {
        DebugLog(m_state, QStringLiteral("rcv--musi") + line);
        return std::nullopt;
    }
    const AdapterProfile& profile = m_state.adapterProfile;
    if (beginsWithFirstOf(line, profile.ring, kPrefixLength)) {
        DebugLog(m_state, QStringLiteral("rcv--ring受信"));
        return std::nullopt;
    }

    const int index = reply().ctiQueryIndex;
    if (index < 1 || index > kLastCtiQuery)
        return queryIndexOutOfRange(index, kLastCtiQuery);
    const QString& prefix = profile.ctiInfo[static_cast<std::size_t>(index)];
    if (!beginsWithFirstOf(line, prefix, kPrefixLength)) {
        // Echoes and other chatter; the reply is still awaited.
        DebugLog(m_state, QStringLiteral("rcv--その他受信") + line);
        return std::nullopt;
    }

    DebugLog(m_state, QStringLiteral("rcv--CTI情報受信") + line);
    const QString rest = NumberExtraction::removeEvery(line, prefix);
    if (rest.isEmpty()) {
        m_messageBoxes.show(QStringLiteral("CTI設定応答データが異常です"), m_state.systemSettings.appName,
                            MessageBoxes::Icon::None, MessageBoxes::Buttons::Ok);
        reply().status = ReplyStatus::Malformed;
        return std::nullopt;
    }
    if (Outcome failure = storeCtiCode(rest))
        return failure;
    reply().status = ReplyStatus::Handled;
    return std::nullopt;
}

ReceiveProcessor::Outcome ReceiveProcessor::storeCtiCode(const QString& rest)
{
    const AdapterProfile& profile = m_state.adapterProfile;
    std::array<QString, 3>& settings = reply().ctiSettings;

    const std::optional<long long> vocabulary = readAsNumber(profile.getCtiCommand);
    if (!vocabulary)
        return CallFailure{QStringLiteral("CTI情報の応答形式（getCtiCommand）が数値ではありません（値：") +
                           profile.getCtiCommand + u'）'};

    if (*vocabulary == 1) {
        // One character describes all three ports at once.
        const QString code = rest.left(1);
        if (code == profile.rsp1_Both)
            settings = {kOn, kOn, kOn};
        else if (code == profile.rsp1_P1)
            settings = {kOn, kOff, kOff};
        else if (code == profile.rsp1_P2)
            settings = {kOff, kOn, kOff};
        else
            settings = {kOff, kOff, kOff};
        return std::nullopt;
    }

    // Two characters answer for the one port that was queried.
    const int port = reply().ctiQueryIndex;
    if (port < 1 || port > kLastCtiPort)
        return queryIndexOutOfRange(port, kLastCtiPort);
    QString& target = settings[static_cast<std::size_t>(port - 1)];
    const QString code = rest.left(2);
    if (code == profile.rsp2_on)
        target = kOn;
    else if (code == profile.rsp2_off)
        target = kOff;
    return std::nullopt;
}

bool ReceiveProcessor::isNotification(const QString& line) const
{
    const QString& ring = m_state.adapterProfile.ring;
    return line.size() > ring.size() && line.left(ring.size()).compare(ring, Qt::CaseInsensitive) == 0;
}

void ReceiveProcessor::watchdogAnswer(const QString& line)
{
    const QString& ring = m_state.adapterProfile.ring;
    if (line.size() > ring.size() || line.size() != 1)
        return;
    reply().watchAnswer = line == m_state.adapterProfile.ok ? WatchAck::Answered : WatchAck::Outstanding;
}

ReceiveProcessor::Outcome ReceiveProcessor::isdnIdle(const QString& line, const Arrival& arrival)
{
    if (isNotification(line))
        m_dispatch.isdnNotification(line, arrival);
    else
        watchdogAnswer(line);
    return std::nullopt;
}

ReceiveProcessor::Outcome ReceiveProcessor::analogInitial(const QString& line)
{
    DebugLog(m_state, QStringLiteral("rcv--1") + line);
    // An adapter that acknowledges counts as the configured model.
    if (line.size() == 1 && line == m_state.adapterProfile.ok) {
        reply().status = ReplyStatus::Handled;
        reply().detectedModel = m_state.adapterModel;
    }
    return std::nullopt;
}

ReceiveProcessor::Outcome ReceiveProcessor::analogIdle(const QString& line, const Arrival& arrival)
{
    DebugLog(m_state, QStringLiteral("rcv--IDLE") + line);
    if (isNotification(line))
        return m_dispatch.analogNotification(line, arrival);
    watchdogAnswer(line);
    return std::nullopt;
}

ReceiveProcessor::Outcome ReceiveProcessor::t1Initial(const QString& frame)
{
    DebugLog(m_state, QStringLiteral("rcv--1") + frame);
    if (frame.size() == NumberExtraction::kT1FrameLength) {
        reply().status = ReplyStatus::Handled;
        reply().detectedModel = m_state.adapterModel;
    }
    return std::nullopt;
}

ReceiveProcessor::Outcome ReceiveProcessor::t1Idle(const QString& frame, const Arrival& arrival)
{
    DebugLog(m_state, QStringLiteral("rcv--IDLE") + frame);
    if (frame.size() == NumberExtraction::kT1FrameLength && m_dispatch.t1Frame(frame, arrival))
        reply().watchAnswer = WatchAck::Answered;
    return std::nullopt;
}
