#pragma once

#include "naming/ComMap.h"

#include <functional>

#include <QString>

namespace qm240lx {

// Whether a device file is there. Nothing is opened or probed to tell.
using DeviceExists = std::function<bool(const QString& device)>;

// One line naming every COM number whose device, overrides included, exists:
// "Serial ports here: COM33 (/dev/ttyUSB0), COM65 (/dev/ttyACM0)", or
// "No serial port is present." when there is none.
QString presentPortsLine(const EnvLookup& env, const DeviceExists& exists);

// The same for the process environment and the file system.
QString presentPortsLine();

} // namespace qm240lx
