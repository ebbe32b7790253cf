#include "pty/PseudoTerminal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
constexpr auto kWriteTimeout = 5s;
}

PseudoTerminal::PseudoTerminal(QObject* parent)
    : QObject(parent)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
        return;
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    // Holding the slave open keeps the master readable (no EIO) while the program has the
    // port closed, and lets us put the line in raw mode before anyone opens it.
    m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slaveKeepAlive >= 0) {
        termios tio{};
        if (::tcgetattr(m_slaveKeepAlive, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_slaveKeepAlive, TCSANOW, &tio);
        }
    }

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PseudoTerminal::readAvailable);
}

PseudoTerminal::~PseudoTerminal()
{
    m_notifier.reset();
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    // The line holds a few KiB; when nobody reads the other side it stays full, so give up
    // after a while instead of spinning forever.
    QDeadlineTimer deadline(kWriteTimeout);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && !deadline.hasExpired()) {
            ::usleep(200);
        } else {
            return false;
        }
    }
    return true;
}

void PseudoTerminal::readAvailable()
{
    char buffer[4096];
    QByteArray chunk;
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            chunk.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    if (chunk.isEmpty())
        return;
    m_received += chunk;
    Q_EMIT bytesReceived(chunk);
}

QByteArray PseudoTerminal::waitForBytes(qsizetype count, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (m_received.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        readAvailable();
    }
    return takeReceived();
}

QByteArray PseudoTerminal::takeReceived()
{
    return std::exchange(m_received, {});
}

QString PseudoTerminal::portPath()
{
    if (!m_linkDir) {
        m_linkDir = std::make_unique<QTemporaryDir>();
        if (!m_linkDir->isValid() || !QFile::link(m_slavePath, m_linkDir->filePath(QStringLiteral("port"))))
            return m_slavePath;
    }
    return m_linkDir->filePath(QStringLiteral("port"));
}

bool PseudoTerminal::makeLink(const QString& linkPath)
{
    QFile::remove(linkPath);
    return QFile::link(m_slavePath, linkPath);
}
