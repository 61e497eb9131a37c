#pragma once

#include "cli/CliExit.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace qm240lx {

// What a command found, both for people and as JSON, and how it ended.
struct CommandResult
{
    ExitCode code = ExitCode::Success;
    QString error;                        // one line for standard error; empty on success
    FailureKind kind = FailureKind::None; // why the command failed
    QJsonObject json;                     // printed with --json
    QStringList lines;                    // printed without it

    static CommandResult failed(const CliExit& exit)
    {
        return {exit.code, exit.text, exit.kind, {}, {}};
    }
};

} // namespace qm240lx
