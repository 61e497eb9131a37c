#pragma once

#include "failure/PortError.h"

namespace qm240lx {

// The tool's exit statuses, after sysexits.h.
enum class ExitCode : int
{
    Success = 0,
    Differs = 1,           // apply --check: an adapter does not hold the profile
    Usage = 64,            // EX_USAGE: a bad command line, a port outside 1 to 255, a bad address
    BadProfile = 65,       // EX_DATAERR: the profile is not valid
    NoProfile = 66,        // EX_NOINPUT: the profile cannot be read
    NoAdapter = 69,        // EX_UNAVAILABLE: silence, or a wrong answer to the probe
    OsError = 71,          // EX_OSERR: too few file descriptors for the ports named
    CannotCreate = 73,     // EX_CANTCREAT: the provisioning log cannot be written
    InputOutput = 74,      // EX_IOERR: the port cannot be opened, or was lost
    PortBusy = 75,         // EX_TEMPFAIL: another program holds the port
    NotConfirmed = 76,     // EX_PROTOCOL: a byte rejected or not confirmed
    PermissionDenied = 77, // EX_NOPERM: no access to the device, or a TLS key not private
    Configuration = 78,    // EX_CONFIG: a TLS certificate or key that cannot be used
};

constexpr int toInt(ExitCode code)
{
    return static_cast<int>(code);
}

// How a port that cannot be opened, or that failed, ends the tool.
ExitCode exitCodeFor(PortError::Kind kind);

} // namespace qm240lx
