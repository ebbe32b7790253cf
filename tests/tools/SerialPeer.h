#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <optional>
#include <utility>

/// The program's end of the line, as plainly as possible: a QSerialPort on the slave
/// device, written and read byte for byte. Waiting processes events, so a simulator on
/// the same thread answers meanwhile.
class SerialPeer
{
public:
    static constexpr std::chrono::milliseconds kTimeout{3000};

    SerialPeer()
    {
        // Taken at once: when the other end goes away the port reports an error and closes,
        // and closing throws away what was not read yet.
        QObject::connect(&m_port, &QSerialPort::readyRead, &m_port, [this] { m_buffer += m_port.readAll(); });
    }
    SerialPeer(const SerialPeer&) = delete;
    SerialPeer& operator=(const SerialPeer&) = delete;

    /// Opens the device, closing a device opened before.
    bool open(const QString& path)
    {
        if (m_port.isOpen())
            m_port.close();
        m_buffer.clear();
        // Opened through a link of our own: QSerialPort names its lock file after the path,
        // and under the bare device path another process's lock on a just-reused
        // pseudo-terminal number could still stand for a moment.
        const QString link = m_linkDir.filePath(QStringLiteral("peer%1").arg(++m_opens));
        if (!QFile::link(path, link))
            return false;
        m_port.setPortName(link);
        return m_port.open(QIODevice::ReadWrite);
    }
    QString errorString() const { return m_port.errorString(); }

    void send(const QByteArray& bytes)
    {
        m_port.write(bytes);
        m_port.waitForBytesWritten(int(kTimeout.count()));
    }

    /// Everything up to and including the first `end` byte sequence, or nothing on time-out.
    std::optional<QByteArray> readThrough(const QByteArray& end)
    {
        QDeadlineTimer deadline(kTimeout);
        for (;;) {
            m_buffer += m_port.readAll();
            const qsizetype at = m_buffer.indexOf(end);
            if (at >= 0) {
                QByteArray chunk = m_buffer.left(at + end.size());
                m_buffer.remove(0, at + end.size());
                return chunk;
            }
            if (deadline.hasExpired())
                return std::nullopt;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        }
    }
    /// Exactly `count` bytes, or what arrived until the time-out.
    QByteArray readBytes(qsizetype count)
    {
        QDeadlineTimer deadline(kTimeout);
        while (m_buffer.size() < count && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
            m_buffer += m_port.readAll();
        }
        QByteArray chunk = m_buffer.left(count);
        m_buffer.remove(0, chunk.size());
        return chunk;
    }
    /// The next line without its CR LF.
    std::optional<QByteArray> readLine()
    {
        auto line = readThrough("\r\n");
        if (line)
            line->chop(2);
        return line;
    }
    /// The text of the next STX ... ETX frame; nothing unless the bytes are exactly one frame.
    std::optional<QByteArray> readFrame()
    {
        auto chunk = readThrough("\x03");
        // Anything before the STX, or a second STX, is a framing fault of the sender.
        if (!chunk || !chunk->startsWith('\x02') || chunk->count('\x02') != 1)
            return std::nullopt;
        return chunk->mid(1, chunk->size() - 2);
    }
    /// Whatever arrived and was not read yet.
    QByteArray leftover()
    {
        m_buffer += m_port.readAll();
        return std::exchange(m_buffer, {});
    }

private:
    QTemporaryDir m_linkDir;
    int m_opens = 0;
    QSerialPort m_port;
    QByteArray m_buffer;
};
