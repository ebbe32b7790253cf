#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

/// Turns the bytes of successive receive events into complete lines or frames (`rxLine`).
/// Works on bytes so that a multi-byte character split across two events survives; the
/// caller decodes each complete unit.
class ReceiveAssembler
{
public:
    enum class Framing
    {
        /// Lines ended by CR; other control bytes (LF included) are dropped, empty lines skipped.
        Line,
        /// Frames between STX and ETX; bytes after an ETX in the same event are discarded.
        ControlCode
    };

    /// A line longer than this keeps its first kMaxLineBytes bytes; the rest up to its
    /// terminator is dropped, so a sender that never ends its line cannot exhaust memory.
    static constexpr qsizetype kMaxLineBytes = 64 * 1024;

    /// Processes the bytes of one receive event in order and returns the lines or frames it
    /// completed, without terminators, in arrival order. Empty units are never returned.
    QList<QByteArray> feed(QByteArrayView bytes, Framing framing);

    /// Forgets a partial line.
    void clear() { m_rxLine.clear(); }
    const QByteArray& pending() const { return m_rxLine; }

private:
    void append(char byte);

    QByteArray m_rxLine;
};
