#include "link/SerialPorts.h"

#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QString defaultByIdDirectory()
{
    return QStringLiteral("/dev/serial/by-id");
}

QStringList defaultLockDirectories()
{
    // The directories Qt's serial port looks in for its lock files, in its order.
    return {QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"), QDir::tempPath()};
}

QString byIdPathFor(const QString& device, const QString& byIdDirectory)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    const QDir dir(byIdDirectory);
    const QStringList names = dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        if (QFileInfo(path).canonicalFilePath() == target)
            return path;
    }
    return {};
}

bool isPortLocked(const QString& device, const QStringList& lockDirectories)
{
    const QString lockName = QStringLiteral("LCK..") + QFileInfo(device).fileName();
    for (const QString& directory : lockDirectories) {
        QFile lock(QDir(directory).filePath(lockName));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        // The first line holds the owner's process id (as text, possibly padded).
        bool ok = false;
        const qint64 pid = lock.readLine().trimmed().toLongLong(&ok);
        if (!ok || pid <= 0)
            continue;
#ifdef Q_OS_UNIX
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
            return true;
#else
        return true;
#endif
    }
    return false;
}

void describeAccess(SerialPortEntry& entry)
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(entry.device);
    entry.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
    struct stat status = {};
    if (::stat(path.constData(), &status) == 0) {
        if (const group* owner = ::getgrgid(status.st_gid))
            entry.accessGroup = QString::fromLocal8Bit(owner->gr_name);
    }
#else
    Q_UNUSED(entry)
#endif
}

QList<SerialPortEntry> listSerialPorts(const QString& byIdDirectory, const QStringList& lockDirectories)
{
    QList<SerialPortEntry> entries;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        SerialPortEntry entry;
        entry.device = info.systemLocation();
        entry.byIdPath = byIdPathFor(entry.device, byIdDirectory);
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier())
            entry.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            entry.productId = info.productIdentifier();
        entry.inUse = isPortLocked(entry.device, lockDirectories);
        describeAccess(entry);
        entries << entry;
    }
    std::sort(entries.begin(), entries.end(),
              [](const SerialPortEntry& a, const SerialPortEntry& b) { return a.device < b.device; });
    return entries;
}

QString portMappingValue(const SerialPortEntry& entry)
{
    return entry.byIdPath.isEmpty() ? entry.device : entry.byIdPath;
}

int assignPortDevice(const SharedState& state, int port, const SerialPortEntry& entry)
{
    return WriteIni(state, QStringLiteral("PORTS"), QStringLiteral("COM") + QString::number(port),
                    portMappingValue(entry));
}
