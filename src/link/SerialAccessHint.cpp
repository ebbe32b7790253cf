#include "link/SerialAccessHint.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace {

// Debian and its relatives give serial devices to this group.
const QString kSerialGroup = QStringLiteral("dialout");

} // namespace

DeviceAccess probeDeviceAccess(const QString& device)
{
    DeviceAccess access;
    access.device = device;
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(device);
    access.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
    if (const passwd* pw = ::getpwuid(::getuid()))
        access.user = QString::fromLocal8Bit(pw->pw_name);

    struct stat info = {};
    if (::stat(path.constData(), &info) != 0)
        return access;
    if (const group* gr = ::getgrgid(info.st_gid)) {
        access.group = QString::fromLocal8Bit(gr->gr_name);
        for (char** member = gr->gr_mem; *member; ++member) {
            if (QString::fromLocal8Bit(*member) == access.user)
                access.groupListed = true;
        }
    }
    access.groupHeld = ::getegid() == info.st_gid;
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? count : 0);
    if (count > 0 && ::getgroups(count, groups.data()) == count) {
        for (const gid_t gid : groups)
            access.groupHeld = access.groupHeld || gid == info.st_gid;
    }
    // A primary group counts as listed as well.
    if (const passwd* pw = ::getpwuid(::getuid()))
        access.groupListed = access.groupListed || pw->pw_gid == info.st_gid;
#endif
    return access;
}

QString serialAccessHint(const DeviceAccess& access)
{
    const QString& device = access.device;
    if (access.accessible) {
        // Permission in order, yet refused: another program holds the device or its lock.
        return QStringLiteral("chakushin: %1 is in use by another program; close it and try again").arg(device);
    }
    const QString group = access.group.isEmpty() || access.group == u"root" ? kSerialGroup : access.group;
    const QString user = access.user.isEmpty() ? QStringLiteral("$USER") : access.user;
    if (access.groupHeld) {
        return QStringLiteral("chakushin: no permission to open %1, although this session holds its group %2; "
                              "the device's own permissions shut the group out")
            .arg(device, group);
    }
    if (access.groupListed) {
        return QStringLiteral("chakushin: no permission to open %1; user %2 is in the group %3, but this session "
                              "began before that: log out and in again")
            .arg(device, user, group);
    }
    return QStringLiteral("chakushin: no permission to open %1; user %2 needs the group %3 "
                          "(sudo adduser %2 %3, then log out and in again)")
        .arg(device, user, group);
}
