#pragma once

#include "AdapterSimProfile.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <memory>

class PseudoTerminal;

/// Plays one adapter model on a pseudo-terminal: the program opens `slavePath()` as its
/// serial port, sends commands as the profile frames them, and gets the answers, call
/// notifications and watchdog answers that the profile's vocabulary describes. Everything
/// runs on the event loop of the owning thread; tests drive it by processing events.
///
/// Line-framed profiles take commands ended by CR and answer with text + CR LF;
/// control-code profiles take STX command ETX and answer with 29-character frames.
/// All text on the line is CP932.
class AdapterSimulator : public QObject
{
    Q_OBJECT

public:
    /// Length of every frame a control-code adapter sends: 9 header characters, then the
    /// number right-aligned in 20.
    static constexpr int kFrameLength = 29;
    static constexpr int kFrameHeaderLength = 9;
    static constexpr int kFrameNumberLength = kFrameLength - kFrameHeaderLength;

    explicit AdapterSimulator(AdapterSimProfile profile, QObject* parent = nullptr);
    ~AdapterSimulator() override;

    /// False when the pseudo-terminal could not be made (`errorString` says why).
    bool isValid() const;
    QString errorString() const;
    QString slavePath() const;
    /// The slave device under a path of its own, for opening with QSerialPort (see
    /// PseudoTerminal::portPath).
    QString portPath();
    /// Symbolic link at `linkPath` to the slave device, replacing an older link.
    bool makeLink(const QString& linkPath);

    const AdapterSimProfile& profile() const { return m_profile; }

    /// Sends an incoming-call notification for `number`: the profile's `ring`, the number and
    /// the further fields of a line, or a 29-character frame with the number right-aligned
    /// (a number longer than 20 characters is cut to 20).
    void raiseCall(const QString& number);
    /// Sends `text` framed as this profile frames what it sends.
    void sendLine(const QString& text);
    void sendFrame(const QString& text) { sendLine(text); }
    /// Sends the bytes as they are.
    void sendBytes(const QByteArray& bytes);

    /// While silent, commands are still recorded but nothing is answered.
    void setSilent(bool silent);
    bool isSilent() const { return m_silent; }

    /// Answers the identification as `model` would: an ISDN model names itself, other
    /// models answer as their profile in the same settings file says. An empty name, or
    /// this simulator's own model, restores its own answer. A model without a profile
    /// section is answered like this profile, with that name.
    void answerAs(const QString& model);
    QString answeringAs() const { return m_identity.model; }

    /// Commands received so far, decoded, in arrival order (ACK frames are not commands).
    QStringList commandsReceived() const { return m_commands; }
    /// Number of STX ACK ETX frames received (the program acknowledges every receive event).
    int acksReceived() const { return m_acks; }
    void clearReceived();

    /// Whether the adapter notifies incoming calls on port 1, 2, 3 (index 0 to 2).
    std::array<bool, 3> ctiPorts() const { return m_ctiPorts; }
    void setCtiPorts(std::array<bool, 3> ports) { m_ctiPorts = ports; }
    /// "port1 on, port2 off, port3 off".
    QString ctiDescription() const;

    /// A readable form of bytes on the line: text as CP932, control bytes as <STX>, <CR>, ...
    static QString readable(const QByteArray& bytes);
    /// Builds the 29-character frame text (without STX/ETX).
    static QString frameText(const QString& header, const QString& number);

Q_SIGNALS:
    void commandReceived(const QString& command);
    void ackReceived();
    /// One readable line about the traffic ("<< ..." received, ">> ..." sent, or a note).
    void logged(const QString& line);

private:
    void onBytes(const QByteArray& bytes);
    void onLineBytes(const QByteArray& bytes);
    void onFrameBytes(const QByteArray& bytes);
    void handleCommand(const QString& command);
    void answerIdentification();
    bool handleCtiCommand(const QString& command);
    QString ctiCode(int query) const;
    void reply(const QString& text);
    void sendFramed(const AdapterSimProfile& framing, const QString& text);
    void transmit(const QByteArray& bytes);
    QString callHeader() const;
    QString statusHeader() const;

    AdapterSimProfile m_profile;
    AdapterSimProfile m_identity;
    std::unique_ptr<PseudoTerminal> m_pty;
    QByteArray m_pending;
    bool m_inFrame = false;
    bool m_silent = false;
    QStringList m_commands;
    int m_acks = 0;
    std::array<bool, 3> m_ctiPorts{};
};
