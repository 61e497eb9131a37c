#pragma once

#include "cli/CliExit.h"

#include <optional>

#include <QtGlobal>

namespace qm240lx {

// Every port a command runs on at once holds a file descriptor. When `ports`
// of them do not fit under the soft limit on open files beside what the
// program itself holds, raises it to the hard limit; the failure, before
// anything is opened, when even the hard limit is too small.
std::optional<CliExit> makeRoomForPorts(qsizetype ports);

} // namespace qm240lx
