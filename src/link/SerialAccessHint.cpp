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
    access.mode = info.st_mode & 07777;
    if (const passwd* owner = ::getpwuid(info.st_uid))
        access.owner = QString::fromLocal8Bit(owner->pw_name);
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
        return QStringLiteral("%1 は他のプログラムが使用中です。そのプログラムを閉じてから、もう一度お試しください。")
            .arg(device);
    }
    const QString user = access.user.isEmpty() ? QStringLiteral("$USER") : access.user;
    // Joining the device's group helps only when that group may read and write it, and
    // nobody should join root's group for a serial port.
    const bool groupGrants =
        !access.group.isEmpty() && access.group != u"root" && (!access.mode || (*access.mode & 0060) == 0060);
    if (!groupGrants && access.mode) {
        return QStringLiteral("%1 は %2:%3、モード %4 です。どのグループでも開けないので、"
                              "管理者が udev ルールでグループ %5、モード 0660 にしてください。")
            .arg(device, access.owner.isEmpty() ? QStringLiteral("?") : access.owner,
                 access.group.isEmpty() ? QStringLiteral("?") : access.group,
                 QStringLiteral("%1").arg(*access.mode, 4, 8, QLatin1Char('0')), kSerialGroup);
    }
    const QString group = groupGrants ? access.group : kSerialGroup;
    if (access.groupHeld) {
        return QStringLiteral("%1 を開く権限がありません。このセッションはグループ %2 に属していますが、"
                              "デバイスの権限（ls -l %1）がそれを許していません。")
            .arg(device, group);
    }
    if (access.groupListed) {
        return QStringLiteral("%1 を開く権限がありません。ユーザー %2 はグループ %3 に入っていますが、"
                              "このセッションはその前に始まりました。ログアウトしてログインし直してください。")
            .arg(device, user, group);
    }
    return QStringLiteral("%1 を開く権限がありません。ユーザー %2 をグループ %3 に加え（sudo adduser %2 %3）、"
                          "ログアウトしてログインし直してください。")
        .arg(device, user, group);
}
