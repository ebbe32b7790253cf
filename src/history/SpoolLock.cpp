#include "history/SpoolLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QLockFile>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

SpoolLock::SpoolLock(const QString& spoolPath)
    : m_path(spoolPath.isEmpty() ? QString() : spoolPath + QStringLiteral(".lock"))
{
    if (m_path.isEmpty()) {
        m_holder = QStringLiteral("no spool file");
        return;
    }
    const QByteArray self = QStringLiteral("pid %1 on %2\n")
                                .arg(QCoreApplication::applicationPid())
                                .arg(QSysInfo::machineHostName())
                                .toUtf8();
#ifdef Q_OS_UNIX
    // flock, not fcntl: SQLite's own locks on the spool are fcntl locks, which any close of
    // the file in this process would drop; this lock file is never opened by anyone else
    // but another owner. On a network file system it is passed on as a lock of the server's.
    m_descriptor = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_descriptor < 0) {
        m_holder = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (::flock(m_descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        if (why == EWOULDBLOCK) {
            m_state = State::HeldElsewhere;
            QFile file(m_path);
            if (file.open(QIODevice::ReadOnly))
                m_holder = QString::fromUtf8(file.readLine(200)).trimmed();
        } else {
            m_holder = QString::fromLocal8Bit(std::strerror(why));
        }
        ::close(m_descriptor);
        m_descriptor = -1;
        return;
    }
    m_state = State::Held;
    // Who holds it, for the message of the next one that tries.
    if (::ftruncate(m_descriptor, 0) == 0) {
        [[maybe_unused]] const ssize_t written = ::pwrite(m_descriptor, self.constData(), size_t(self.size()), 0);
    }
#else
    m_lockFile = std::make_unique<QLockFile>(m_path);
    m_lockFile->setStaleLockTime(0);
    if (m_lockFile->tryLock(0)) {
        m_state = State::Held;
    } else if (m_lockFile->error() == QLockFile::LockFailedError) {
        m_state = State::HeldElsewhere;
        qint64 pid = 0;
        QString host;
        QString application;
        if (m_lockFile->getLockInfo(&pid, &host, &application))
            m_holder = QStringLiteral("pid %1 on %2").arg(pid).arg(host);
    } else {
        m_holder = QStringLiteral("cannot make %1").arg(m_path);
    }
    Q_UNUSED(self)
#endif
}

SpoolLock::~SpoolLock()
{
#ifdef Q_OS_UNIX
    if (m_descriptor >= 0)
        ::close(m_descriptor);
#endif
}
