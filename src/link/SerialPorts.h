#pragma once

#include "app/SharedState.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/// The serial ports the system has, described so that a user can tell which one is the
/// adapter, and the mapping of the settings' COM numbers onto them.

/// One serial device.
struct SerialPortEntry
{
    QString device;   ///< the device file, e.g. /dev/ttyUSB0
    QString byIdPath; ///< its stable name under /dev/serial/by-id/, or empty
    QString description;
    QString manufacturer;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    bool inUse = false;     ///< another program (or this one) holds its lock
    bool accessible = true; ///< this user may open it for reading and writing
    QString accessGroup;    ///< the group that owns the device, which grants access
};

/// The directory of the stable device names.
QString defaultByIdDirectory();
/// Where serial-port lock files (LCK..ttyUSB0) live, first match wins.
QStringList defaultLockDirectories();

/// The name in `byIdDirectory` that leads to `device`; empty when there is none.
QString byIdPathFor(const QString& device, const QString& byIdDirectory);

/// Whether a lock file for `device` in one of `lockDirectories` names a process that
/// still runs.
bool isPortLocked(const QString& device, const QStringList& lockDirectories);

/// Fills in whether this user may open `entry.device` and which group owns it.
void describeAccess(SerialPortEntry& entry);

/// Every serial port the system reports, in device order.
QList<SerialPortEntry> listSerialPorts(const QString& byIdDirectory = defaultByIdDirectory(),
                                       const QStringList& lockDirectories = defaultLockDirectories());

/// What settings.ini should name for the device: the stable by-id name when there is one
/// (it survives re-plugging), else the device path.
QString portMappingValue(const SerialPortEntry& entry);

/// Maps COM port `port` to the device: writes PORTS `COM`n. WriteIni's result.
int assignPortDevice(const SharedState& state, int port, const SerialPortEntry& entry);
