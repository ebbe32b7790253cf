#include "link/PortDevice.h"

#include "app/Settings.h"

QString defaultDeviceForPort(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM") + QString::number(port);
#else
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
#endif
}

QString deviceForPort(const SharedState& state, int port)
{
    const QString mapped = ReadIni(state, QStringLiteral("PORTS"), QStringLiteral("COM") + QString::number(port));
    return mapped.isEmpty() ? defaultDeviceForPort(port) : mapped;
}
