#include "SimulatorConsole.h"

#include "AdapterSimulator.h"

#include <QRandomGenerator>

namespace {

SimulatorConsole::Result failure(const QString& text)
{
    return {false, false, text};
}

/// Hex digits in pairs, blanks between bytes allowed ("02 31 03" or "023103").
bool parseHex(const QString& text, QByteArray& bytes)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
        digits += c;
    }
    if (digits.isEmpty() || digits.size() % 2 != 0)
        return false;
    bytes = QByteArray::fromHex(digits.toLatin1());
    return true;
}

} // namespace

SimulatorConsole::Result SimulatorConsole::execute(QString line)
{
    while (line.endsWith(QLatin1Char('\r')) || line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    const qsizetype space = line.indexOf(QLatin1Char(' '));
    const QString word = space < 0 ? line.trimmed() : line.left(space).trimmed();
    // Arguments are taken verbatim after the one blank that follows the command word, so
    // `raw` and `call` can carry leading or trailing blanks on purpose.
    const QString argument = space < 0 ? QString() : line.mid(space + 1);

    if (word.isEmpty())
        return {};
    if (word == QLatin1String("call")) {
        if (argument.isEmpty())
            return failure(QStringLiteral("call needs a number: call NUMBER"));
        m_simulator.raiseCall(argument);
        return {};
    }
    if (word == QLatin1String("silent")) {
        const QString mode = argument.trimmed();
        if (mode != QLatin1String("on") && mode != QLatin1String("off"))
            return failure(QStringLiteral("silent on|off"));
        m_simulator.setSilent(mode == QLatin1String("on"));
        return {};
    }
    if (word == QLatin1String("as")) {
        m_simulator.answerAs(argument.trimmed());
        return {};
    }
    if (word == QLatin1String("raw")) {
        m_simulator.sendLine(argument);
        return {};
    }
    if (word == QLatin1String("bytes")) {
        QByteArray bytes;
        if (!parseHex(argument, bytes))
            return failure(QStringLiteral("bytes needs pairs of hex digits, for example: bytes 02 31 03"));
        m_simulator.sendBytes(bytes);
        return {};
    }
    if (word == QLatin1String("garbage")) {
        bool ok = false;
        const int count = argument.trimmed().toInt(&ok);
        if (!ok || count < 1 || count > kMaxGarbage)
            return failure(QStringLiteral("garbage needs a count from 1 to %1").arg(kMaxGarbage));
        QByteArray bytes(count, '\0');
        for (char& b : bytes)
            b = static_cast<char>(QRandomGenerator::global()->bounded(256));
        m_simulator.sendBytes(bytes);
        return {};
    }
    if (word == QLatin1String("status"))
        return {true, false, status()};
    if (word == QLatin1String("help"))
        return {true, false, helpText()};
    if (word == QLatin1String("quit"))
        return {true, true, {}};
    return failure(QStringLiteral("unknown command \"%1\" (help lists the commands)").arg(word));
}

QString SimulatorConsole::helpText()
{
    return QStringLiteral("Commands on standard input, one per line:\n"
                          "  call NUMBER     raise an incoming call from NUMBER\n"
                          "  silent on|off   stop or resume answering (trips the program's watchdog)\n"
                          "  as MODEL        answer the identification as MODEL (empty: as this model)\n"
                          "  raw TEXT        send TEXT framed as this model frames what it sends\n"
                          "  bytes HEX       send raw bytes, for example: bytes 02 31 32 03\n"
                          "  garbage N       send N random bytes (1 to %1)\n"
                          "  status          show the state of the simulated adapter\n"
                          "  help            show this list\n"
                          "  quit            end the simulator\n")
        .arg(kMaxGarbage);
}

QString SimulatorConsole::status() const
{
    const AdapterSimProfile& p = m_simulator.profile();
    QString framing = p.controlCodeFraming() ? QStringLiteral("STX/ETX frames of 29 characters")
                                             : QStringLiteral("lines ended by CR");
    return QStringLiteral("model:       %1 (kind %2, %3)\n"
                          "device:      %4\n"
                          "answering:   %5\n"
                          "identifies:  as %6\n"
                          "CTI:         %7 (%8 scheme)\n"
                          "received:    %9 commands, %10 ACK frames\n")
        .arg(p.model, p.kind.isEmpty() ? QStringLiteral("-") : p.kind, framing, m_simulator.slavePath(),
             m_simulator.isSilent() ? QStringLiteral("no (silent)") : QStringLiteral("yes"), m_simulator.answeringAs(),
             m_simulator.ctiDescription(),
             p.singleQueryScheme() ? QStringLiteral("single-query") : QStringLiteral("per-port"))
        .arg(m_simulator.commandsReceived().size())
        .arg(m_simulator.acksReceived());
}
