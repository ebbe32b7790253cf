#pragma once

#include <QString>

#include <optional>

/// What decides whether this user may open a serial device.
struct DeviceAccess
{
    QString device;
    /// Whether this process may read and write the device now.
    bool accessible = false;
    /// The group that owns the device; empty when unknown.
    QString group;
    /// Whether this process holds that group now.
    bool groupHeld = false;
    /// Whether the group database lists the user as a member (perhaps only since the
    /// session began, which does not give the session the group).
    bool groupListed = false;
    QString user;
    /// The user that owns the device, and its permission bits (0660, ...); unknown when the
    /// device could not be examined.
    QString owner;
    std::optional<unsigned> mode;
};

/// The device's access as the system sees it for this process.
DeviceAccess probeDeviceAccess(const QString& device);

/// A sentence for the user when `access.device` refused to open for lack of permission:
/// what stands in the way and what the user can do about it.
QString serialAccessHint(const DeviceAccess& access);
