#include "cli/PortApply.h"

#include "cli/CliCommands.h"
#include "cli/PortSession.h"
#include "settings/Profile.h"

#include <variant>

namespace qm240lx {

Task<PortApply::Outcome> PortApply::run(PortChoice port, const Plan& plan,
                                        const PortOptions& options, TraceLog* trace,
                                        Interruption& interruption)
{
    Outcome outcome;
    outcome.port = port;
    PortSession session(port, options, trace, interruption);
    const std::optional<CliExit> unusable = co_await session.open();
    outcome.device = session.device();
    outcome.description = session.description();
    if (unusable) {
        fail(outcome, *unusable);
        outcome.leftOut = plan.onlyWhereAnswered;
        co_return outcome;
    }
    CliCommands commands(session);
    const std::optional<CliExit> absent = co_await commands.probe();
    if (absent) {
        fail(outcome, *absent);
        outcome.leftOut = plan.onlyWhereAnswered && !interruption.interrupted();
        co_return outcome;
    }
    if (plan.check)
        co_await compare(commands, plan, outcome);
    else
        co_await configure(commands, plan, outcome);
    co_return outcome;
}

Task<> PortApply::configure(CliCommands& commands, const Plan& plan, Outcome& outcome)
{
    const CliCommands::Applied applied = co_await commands.applyAfterProbe(plan.changes, plan.save);
    outcome.changed = applied.changed;
    outcome.saved = applied.saved;
    if (applied.failure) {
        fail(outcome, *applied.failure);
        outcome.afterFailure = applied.afterFailure();
        co_return;
    }
    outcome.result = Result::Configured;
}

Task<> PortApply::compare(CliCommands& commands, const Plan& plan, Outcome& outcome)
{
    const std::variant<ConfigBytes, CliExit> bytes = co_await commands.readBytes();
    if (const CliExit* failure = std::get_if<CliExit>(&bytes)) {
        fail(outcome, *failure);
        co_return;
    }
    outcome.differences =
        Profile::differences(plan.changes, ConfigFields::decode(std::get<ConfigBytes>(bytes)));
    outcome.result = outcome.differences.isEmpty() ? Result::Matches : Result::Differs;
}

void PortApply::fail(Outcome& outcome, const CliExit& failure)
{
    outcome.result = Result::Failed;
    outcome.failure = failure;
}

} // namespace qm240lx
