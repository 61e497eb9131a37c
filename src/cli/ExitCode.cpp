#include "cli/ExitCode.h"

namespace qm240lx {

ExitCode exitCodeFor(PortError::Kind kind)
{
    switch (kind) {
    case PortError::Kind::Busy:
        return ExitCode::PortBusy;
    case PortError::Kind::PermissionDenied:
    case PortError::Kind::StaleLock:
    case PortError::Kind::KeyRefused:
        return ExitCode::PermissionDenied;
    case PortError::Kind::BadAddress:
        return ExitCode::Usage;
    case PortError::Kind::BadTlsFile:
        return ExitCode::Configuration;
    case PortError::Kind::None:
    case PortError::Kind::NoSuchDevice:
    case PortError::Kind::SystemConsole:
    case PortError::Kind::Lost:
    case PortError::Kind::Other:
        break;
    }
    return ExitCode::InputOutput;
}

} // namespace qm240lx
