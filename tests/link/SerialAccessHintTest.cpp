// What the program tells the user when a serial device refuses to open for lack of
// permission. Root may open everything, so the situations are given as entries.

#include "link/SerialAccessHint.h"

#include "support/QStringPrinter.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

// Each situation names the device and leads to its own remedy: joining the group, logging
// in again after joining, the device's mode, or the other program holding the port.
TEST(SerialAccessHint, NamesTheDeviceAndTheRemedy)
{
    struct Case
    {
        const char* name;
        DeviceAccess access;
        QStringList says;
        QStringList doesNotSay;
    };
    const QString dev = "/dev/serial/by-id/usb-FTDI-if00-port0";
    const Case cases[] = {
        {"not in the group",
         {dev, false, "dialout", false, false, "yamada"},
         {dev, "sudo adduser yamada dialout", "log out and in again"},
         {"in use"}},
        {"joined, session older",
         {dev, false, "dialout", false, true, "yamada"},
         {dev, "yamada is in the group dialout", "log out and in again"},
         {"adduser"}},
        {"another distribution's group",
         {dev, false, "uucp", false, false, "yamada"},
         {"sudo adduser yamada uucp"},
         {"dialout"}},
        {"group unknown", {dev, false, "", false, false, ""}, {"needs the group dialout", "$USER"}, {}},
        {"root-owned device", {dev, false, "root", false, false, "yamada"}, {"sudo adduser yamada dialout"}, {}},
        {"group held, mode shuts it out",
         {dev, false, "dialout", true, true, "yamada"},
         {dev, "holds its group dialout", "permissions"},
         {"adduser", "log out"}},
        {"permission fine, port busy",
         {dev, true, "dialout", true, true, "yamada"},
         {dev, "in use by another program"},
         {"adduser", "group"}},
    };
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
    const DeviceAccess access = probeDeviceAccess(device.fileName());
    EXPECT_EQ(access.device, device.fileName());
    EXPECT_TRUE(access.accessible);
    EXPECT_FALSE(access.group.isEmpty());
    // Files this process makes belong to its own group.
    EXPECT_TRUE(access.groupHeld);
    EXPECT_FALSE(access.user.isEmpty());

    EXPECT_FALSE(probeDeviceAccess(device.fileName() + ".missing").accessible);
}
