// What the program tells the user when a serial device refuses to open for lack of
// permission. Root may open everything, so the situations are given as entries.

#include "link/SerialAccessHint.h"

#include "support/QStringPrinter.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

// Each situation names the device and leads to its own remedy: joining the group, logging
// in again after joining, the device's own permissions, a device no group opens (said with
// its owner and mode), or the other program holding the port.
TEST(SerialAccessHint, NamesTheDeviceAndTheRemedy)
{
    // clang-format off
    struct Case { const char* name; DeviceAccess access; QStringList says; QStringList doesNotSay; };
    const QString dev = "/dev/serial/by-id/usb-FTDI-if00-port0";
    const QString join = "sudo adduser";
    const auto device = [&](QString group, bool held, bool listed, std::optional<unsigned> mode,
                            QString user = "yamada", bool accessible = false) {
        return DeviceAccess{dev, accessible, group, held, listed, user, "root", mode};
    };
    const Case cases[] = {
        {"not in the group", device("dialout", false, false, 0660), {dev, join + " yamada dialout", "ログインし直して"}, {"使用中"}},
        {"joined, session older", device("dialout", false, true, 0660), {dev, "yamada はグループ dialout に入って", "ログインし直して"}, {join}},
        {"another distribution's group", device("uucp", false, false, 0660), {join + " yamada uucp"}, {"dialout"}},
        {"nothing known", device("", false, false, {}, ""), {join + " $USER dialout"}, {}},
        {"root's own device", device("root", false, false, 0600), {dev, "root:root、モード 0600", "udev"}, {join}},
        {"group shut out by the mode", device("dialout", false, false, 0604), {"root:dialout、モード 0604"}, {join}},
        {"group held, still refused", device("dialout", true, true, 0660), {dev, "グループ dialout に属して", "ls -l"}, {join, "ログインし直して"}},
        {"permission fine, port busy", device("dialout", true, true, 0660, "yamada", true), {dev, "他のプログラムが使用中"}, {join, "グループ"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString hint = serialAccessHint(c.access);
        for (const QString& part : c.says)
            EXPECT_TRUE(hint.contains(part)) << qPrintable(hint) << " lacks " << qPrintable(part);
        for (const QString& part : c.doesNotSay)
            EXPECT_FALSE(hint.contains(part)) << qPrintable(hint) << " has " << qPrintable(part);
    }
}

// The probe reads the device's group and this process's access from the system.
TEST(SerialAccessHint, ProbeReadsTheFileSystem)
{
    QTemporaryFile device;
    ASSERT_TRUE(device.open());
    device.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const DeviceAccess access = probeDeviceAccess(device.fileName());
    EXPECT_EQ(access.device, device.fileName());
    EXPECT_TRUE(access.accessible);
    EXPECT_FALSE(access.group.isEmpty());
    // Files this process makes belong to its own group.
    EXPECT_TRUE(access.groupHeld);
    EXPECT_EQ(access.owner, access.user);
    EXPECT_EQ(access.mode, 0640u);

    EXPECT_FALSE(probeDeviceAccess(device.fileName() + ".missing").accessible);
}
