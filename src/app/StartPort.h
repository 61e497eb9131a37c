#pragma once

#include "link/PortChoice.h"

#include <optional>

namespace qm240lx {

// The COM number the window starts on: COM1 when no port is given, the port's
// own number, or the one its device path has in the COM map. A path outside
// the map is given the first free COM number for this run, as if
// QM240LX_COM<n> named it, so that the port list, its tips and the error boxes
// all call it by that number. Nullopt when no number is free.
std::optional<int> bindStartPort(const std::optional<PortChoice>& port);

} // namespace qm240lx
