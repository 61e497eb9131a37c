#include "cli/PortApply.h"

#include "async/Tick.h"
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
    const std::optional<CliExit> unusable = co_await open(session, plan);
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
    switch (plan.step) {
    case Step::Configure:
        co_await configure(commands, plan, outcome);
        break;
    case Step::Check:
        co_await compare(commands, plan, outcome);
        break;
    case Step::Detect:
        outcome.result = Result::Ready;
        break;
    case Step::Read:
        co_await read(commands, outcome);
        break;
    case Step::Save:
        co_await save(commands, outcome);
        break;
    }
    co_return outcome;
}

namespace {

constexpr int accessAttempts = 20;
constexpr Tick accessRetryMs = 100;

bool mayBeSettingUp(const CliExit& failure)
{
    return failure.code == ExitCode::PermissionDenied || failure.code == ExitCode::InputOutput ||
           failure.code == ExitCode::PortBusy;
}

} // namespace

Task<std::optional<CliExit>> PortApply::open(PortSession& session, const Plan& plan)
{
    std::optional<CliExit> unusable = co_await session.open();
    for (int attempt = 1; plan.waitForAccess && unusable && mayBeSettingUp(*unusable) &&
                          attempt < accessAttempts && !session.exchange().aborted();
         ++attempt) {
        co_await session.exchange().settle(accessRetryMs);
        unusable = co_await session.open();
    }
    co_return unusable;
}

Task<> PortApply::configure(CliCommands& commands, const Plan& plan, Outcome& outcome)
{
    const CliCommands::Applied applied = co_await commands.applyAfterProbe(plan.changes, plan.save);
    outcome.changed = applied.changed;
    outcome.before = applied.before;
    outcome.saved = applied.saved;
    outcome.configuration = applied.held;
    if (applied.failure) {
        fail(outcome, *applied.failure);
        outcome.afterFailure = applied.afterFailure();
        co_return;
    }
    bool held = true;
    if (plan.verify)
        held = co_await verify(commands, plan, outcome);
    if (held)
        outcome.result = Result::Configured;
}

// The configuration read anew holds every change, whatever bits lie outside
// the fields.
Task<bool> PortApply::verify(CliCommands& commands, const Plan& plan, Outcome& outcome)
{
    const std::variant<ConfigBytes, CliExit> bytes = co_await commands.readBytes();
    if (const CliExit* failure = std::get_if<CliExit>(&bytes)) {
        fail(outcome, *failure);
        co_return false;
    }
    const ConfigBytes held = withFieldsOnly(std::get<ConfigBytes>(bytes));
    outcome.configuration = std::get<ConfigBytes>(bytes);
    if (plan.changes.applyTo(held) == held)
        co_return true;
    fail(outcome, {ExitCode::NotConfirmed,
                   QStringLiteral("%1: the configuration read back does not hold the profile")
                       .arg(outcome.description),
                   FailureKind::NotConfirmed});
    co_return false;
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

Task<> PortApply::read(CliCommands& commands, Outcome& outcome)
{
    const std::variant<ConfigBytes, CliExit> bytes = co_await commands.readBytes();
    if (const CliExit* failure = std::get_if<CliExit>(&bytes)) {
        fail(outcome, *failure);
        co_return;
    }
    outcome.configuration = std::get<ConfigBytes>(bytes);
    outcome.result = Result::Read;
}

Task<> PortApply::save(CliCommands& commands, Outcome& outcome)
{
    const std::optional<CliExit> failure = co_await commands.saveIntoFlash();
    if (failure) {
        fail(outcome, *failure);
        co_return;
    }
    outcome.result = Result::Saved;
    outcome.saved = true;
}

void PortApply::fail(Outcome& outcome, const CliExit& failure)
{
    outcome.result = Result::Failed;
    outcome.failure = failure;
}

} // namespace qm240lx
