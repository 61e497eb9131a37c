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
    case PortError::Kind::NoAdapter:
    case PortError::Kind::WrongAnswer:
        return ExitCode::NoAdapter;
    case PortError::Kind::Rejected:
    case PortError::Kind::NotConfirmed:
    case PortError::Kind::KeepsSending:
        return ExitCode::NotConfirmed;
    default:
        break;
    }
    return ExitCode::InputOutput;
}

} // namespace qm240lx
