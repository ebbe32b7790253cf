#include "link/SerialPorts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

// A device is found under its stable name when a link in the by-id directory leads to it,
// also through a chain of links; other devices and a missing directory give no name.
TEST(SerialPorts, ByIdName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("ttyUSB0"));
    const QString other = dir.filePath(QStringLiteral("ttyUSB1"));
    writeFile(device, "");
    writeFile(other, "");
    QDir(dir.path()).mkdir(QStringLiteral("by-id"));
    const QString byId = dir.filePath(QStringLiteral("by-id"));
    ASSERT_TRUE(QFile::link(QStringLiteral("../ttyUSB0"), byId + QStringLiteral("/usb-Maker_Adapter-if00-port0")));
    const QString alias = dir.filePath(QStringLiteral("adapter"));
    ASSERT_TRUE(QFile::link(device, alias));

    EXPECT_EQ(byIdPathFor(device, byId), byId + QStringLiteral("/usb-Maker_Adapter-if00-port0"));
    EXPECT_EQ(byIdPathFor(alias, byId), byId + QStringLiteral("/usb-Maker_Adapter-if00-port0"));
    EXPECT_EQ(byIdPathFor(other, byId), QString());
    EXPECT_EQ(byIdPathFor(device, dir.filePath(QStringLiteral("missing"))), QString());
    EXPECT_EQ(byIdPathFor(dir.filePath(QStringLiteral("gone")), byId), QString());
}

// A lock file counts only while the process it names runs.
TEST(SerialPorts, LockFiles)
{
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    const QStringList lockDirs = {first.path(), second.path()};
    const QString device = QStringLiteral("/dev/ttyUSB7");
    EXPECT_FALSE(isPortLocked(device, lockDirs));

    QProcess finished;
    finished.start(QStringLiteral("true"), QStringList());
    ASSERT_TRUE(finished.waitForFinished());
    const qint64 deadPid = finished.processId();

    const std::pair<QByteArray, bool> rows[] = {
        {QByteArray::number(QCoreApplication::applicationPid()) + "\nchakushin\nhost\n", true},
        {"      " + QByteArray::number(QCoreApplication::applicationPid()) + "\n", true},
        {"garbage\n", false},
        {"", false},
        {"0\n", false},
    };
    for (const auto& [content, locked] : rows) {
        writeFile(second.filePath(QStringLiteral("LCK..ttyUSB7")), content);
        EXPECT_EQ(isPortLocked(device, lockDirs), locked) << content.toStdString();
        EXPECT_FALSE(isPortLocked(QStringLiteral("/dev/ttyUSB8"), lockDirs));
    }
    if (deadPid > 0) {
        writeFile(second.filePath(QStringLiteral("LCK..ttyUSB7")), QByteArray::number(deadPid) + "\n");
        EXPECT_FALSE(isPortLocked(device, lockDirs));
    }
}

// What settings.ini names for a device: the stable name first.
TEST(SerialPorts, MappingValue)
{
    SerialPortEntry entry;
    entry.device = QStringLiteral("/dev/ttyUSB0");
    EXPECT_EQ(portMappingValue(entry), QStringLiteral("/dev/ttyUSB0"));
    entry.byIdPath = QStringLiteral("/dev/serial/by-id/usb-X");
    EXPECT_EQ(portMappingValue(entry), QStringLiteral("/dev/serial/by-id/usb-X"));
}
