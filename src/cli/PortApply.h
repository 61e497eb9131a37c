#pragma once

#include "async/Task.h"
#include "cli/CliExit.h"
#include "cli/Interruption.h"
#include "cli/TraceLog.h"
#include "link/PortChoice.h"
#include "link/PortOptions.h"
#include "settings/ConfigBytes.h"
#include "settings/FieldChanges.h"

#include <optional>

#include <QJsonArray>
#include <QString>
#include <QStringList>

namespace qm240lx {

class CliCommands;
class PortSession;

// One port's part in a command given many ports: its own session, the
// probe and what follows it (for apply: read, the uploads and the save),
// suspended whenever its adapter has nothing to say, beside the other ports'
// on the same thread.
class PortApply
{
public:
    // What follows the probe.
    enum class Step
    {
        Configure, // apply
        Check,     // apply --check: read and compare only
        Detect,    // nothing
        Read,
        Save,
    };

    struct Plan
    {
        Step step = Step::Configure;
        FieldChanges changes; // Configure, Check
        bool save = false;    // Configure
        // A port where no adapter answers the probe is left out, not failed.
        bool onlyWhereAnswered = false;
        // Configure: read the configuration once more at the end and fail
        // unless it holds the changes.
        bool verify = false;
        // A device that has just appeared may refuse to open until its
        // permissions are set: try again for up to two seconds.
        bool waitForAccess = false;
    };

    enum class Result
    {
        Configured,
        Matches, // check
        Differs, // check
        Ready,   // detect
        Read,
        Saved,
        Failed,
    };

    struct Outcome
    {
        PortChoice port;
        QString device;
        QString description; // "COM3 (/dev/ttyUSB2)"
        Result result = Result::Failed;
        CliExit failure;    // when failed
        QJsonArray changed; // "h_byte", ...
        bool saved = false;
        QString afterFailure;    // what the adapter took before a failure, and whether saved
        QStringList differences; // check: "baud 9600, profile 57600"
        std::optional<ConfigBytes> before;        // configure: as first read
        std::optional<ConfigBytes> configuration; // read; configure: as last read, failure or not
        bool leftOut = false;                     // no adapter answered, with onlyWhereAnswered
    };

    // With a `trace`, the port's bytes and texts go to it.
    static Task<Outcome> run(PortChoice port, const Plan& plan, const PortOptions& options,
                             TraceLog* trace, Interruption& interruption);

private:
    static Task<> configure(CliCommands& commands, const Plan& plan, Outcome& outcome);
    static Task<> compare(CliCommands& commands, const Plan& plan, Outcome& outcome);
    static Task<> read(CliCommands& commands, Outcome& outcome);
    static Task<bool> verify(CliCommands& commands, const Plan& plan, Outcome& outcome);
    static Task<std::optional<CliExit>> open(PortSession& session, const Plan& plan);
    static Task<> save(CliCommands& commands, Outcome& outcome);
    static void fail(Outcome& outcome, const CliExit& failure);
};

} // namespace qm240lx
