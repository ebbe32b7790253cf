#pragma once

#include "app/SharedState.h"

#include <QString>

/// The platform's name for COM port `port` when settings.ini does not map it: COMn on
/// Windows, /dev/ttyS(n-1) elsewhere.
QString defaultDeviceForPort(int port);

/// The device of COM port `port`: key "COM"n of the optional section PORTS in
/// settings.ini, else the platform's default name.
QString deviceForPort(const SharedState& state, int port);
