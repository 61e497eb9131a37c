#pragma once

#include "async/Task.h"
#include "async/TerminationSignals.h"
#include "cli/CliOptions.h"
#include "cli/CommandResult.h"
#include "cli/Interruption.h"
#include "cli/PortApply.h"
#include "cli/PortScan.h"
#include "cli/TraceLog.h"
#include "link/PortOptions.h"
#include "settings/FieldChanges.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <variant>

#include <QStringList>

namespace qm240lx {

// The command-line tool from its arguments to its exit code. Every port's
// command runs on the main thread's event loop.
class CliApp
{
public:
    // Output goes to `out`, errors and the trace to `err`. From here on,
    // SIGINT, SIGTERM and SIGHUP end the command: its port is closed, and
    // run() says "interrupted" and returns 128 plus the signal's number.
    // While the ports or the profile are read, before any port opens, they
    // end the program as they would any other.
    CliApp(std::FILE* out, std::FILE* err);

    int run(const QStringList& arguments);

private:
    std::variant<CliOptions, CliExit> parseUnwatched(const QStringList& arguments) const;
    std::variant<FieldChanges, CliExit> loadUnwatched(const QString& profile) const;
    Task<> runToEnd(const CliOptions& options, CommandResult& result);
    Task<CommandResult> runCommand(const CliOptions& options);
    Task<CommandResult> runOnPort(const CliOptions& options);
    Task<CommandResult> scan(const CliOptions& options);
    Task<CommandResult> apply(const CliOptions& options);
    Task<CommandResult> onEveryPort(const CliOptions& options, PortApply::Plan plan);
    Task<CommandResult> provision(const CliOptions& options);
    void print(const CliOptions& options, const CommandResult& result);
    void printError(const QString& message);

    std::FILE* m_out;
    std::FILE* m_err;
    PortOptions m_portOptions;
    std::optional<TraceLog> m_trace;
    Interruption m_interruption;
    TerminationSignals m_termination;
    // What the first termination signal does instead of interrupting: set
    // while a provisioning station runs.
    std::function<void()> m_gentleStop;
    bool m_stoppedGently = false;
};

} // namespace qm240lx
