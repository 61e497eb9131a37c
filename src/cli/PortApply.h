#pragma once

#include "async/Task.h"
#include "cli/CliExit.h"
#include "cli/Interruption.h"
#include "cli/TraceLog.h"
#include "link/PortChoice.h"
#include "link/PortOptions.h"
#include "settings/FieldChanges.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>

namespace qm240lx {

class CliCommands;

// One port's part in an apply: its own session, probe, read, the uploads
// and the save, suspended whenever its adapter has nothing to say, beside
// the other ports' on the same thread.
class PortApply
{
public:
    struct Plan
    {
        FieldChanges changes;
        bool save = false;
        bool check = false; // read and compare only
        // A port where no adapter answers the probe is left out, not failed.
        bool onlyWhereAnswered = false;
    };

    enum class Result
    {
        Configured,
        Matches, // check
        Differs, // check
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
        bool leftOut = false;    // no adapter answered, with onlyWhereAnswered
    };

    // With a `trace`, the port's bytes and texts go to it.
    static Task<Outcome> run(PortChoice port, const Plan& plan, const PortOptions& options,
                             TraceLog* trace, Interruption& interruption);

private:
    static Task<> configure(CliCommands& commands, const Plan& plan, Outcome& outcome);
    static Task<> compare(CliCommands& commands, const Plan& plan, Outcome& outcome);
    static void fail(Outcome& outcome, const CliExit& failure);
};

} // namespace qm240lx
