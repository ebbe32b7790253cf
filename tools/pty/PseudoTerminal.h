#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class QSocketNotifier;
class QTemporaryDir;

/// The master side of a pseudo-terminal in raw mode. The program under test opens the
/// slave device as its serial port; whoever holds this object plays the adapter. Emits
/// `bytesReceived` for everything the program transmits, on the owning thread's event loop.
class PseudoTerminal : public QObject
{
    Q_OBJECT

public:
    explicit PseudoTerminal(QObject* parent = nullptr);
    ~PseudoTerminal() override;

    bool isValid() const { return m_master >= 0; }
    /// Path of the slave device (for example /dev/pts/7).
    QString slavePath() const { return m_slavePath; }
    /// A path to the slave device that no other pseudo-terminal ever has: a symbolic link in
    /// a folder of this object's own. Open this one with QSerialPort. It names its lock file
    /// after the path it is given, and releases the lock only after closing the device;
    /// pseudo-terminal numbers are reused at once, so under the bare device path another
    /// process's lock can still stand for a moment and make the open fail.
    QString portPath();
    /// Why the pseudo-terminal could not be made, when it is not valid.
    QString errorString() const { return m_error; }

    /// Writes all bytes to the program, blocking until the kernel has taken them. Fails when
    /// the line stays full for 5 s because nobody reads the other side.
    bool write(const QByteArray& bytes);
    /// Waits until at least `count` bytes have arrived from the program or the time is up,
    /// processing events meanwhile; returns everything read so far and clears it.
    QByteArray waitForBytes(qsizetype count, std::chrono::milliseconds timeout);
    /// Everything received and not yet taken.
    QByteArray takeReceived();

    /// Symbolic link at `linkPath` to the slave device, replacing an older link.
    bool makeLink(const QString& linkPath);

Q_SIGNALS:
    void bytesReceived(const QByteArray& bytes);

private:
    void readAvailable();

    int m_master = -1;
    int m_slaveKeepAlive = -1;
    QString m_slavePath;
    QString m_error;
    QByteArray m_received;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<QTemporaryDir> m_linkDir;
};
