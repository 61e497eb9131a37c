#pragma once

#include "cli/ExitCode.h"

#include <QString>

namespace qm240lx {

// How the tool ends without running a command to its end: the help or
// version text on standard output, or one line on standard error.
struct CliExit
{
    ExitCode code = ExitCode::Success;
    QString text;
    // Why a port or an adapter failed; none for the tool's own refusals.
    FailureKind kind = FailureKind::None;

    bool isError() const { return code != ExitCode::Success; }
};

} // namespace qm240lx
