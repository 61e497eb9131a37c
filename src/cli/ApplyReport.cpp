#include "cli/ApplyReport.h"

#include "cli/JsonReport.h"
#include "cli/TextReport.h"

#include <algorithm>

#include <QJsonArray>

namespace qm240lx {
namespace {

using Result = PortApply::Result;
using Step = PortApply::Step;

QString resultName(Result result)
{
    switch (result) {
    case Result::Configured:
        return QStringLiteral("configured");
    case Result::Matches:
        return QStringLiteral("matches");
    case Result::Differs:
        return QStringLiteral("differs");
    case Result::Ready:
        return QStringLiteral("ready");
    case Result::Read:
        return QStringLiteral("read");
    case Result::Saved:
        return QStringLiteral("saved");
    case Result::Failed:
        break;
    }
    return QStringLiteral("failed");
}

QString configuredText(const PortApply::Outcome& outcome)
{
    QStringList done = ApplyReport::configuredParts(outcome);
    if (outcome.changed.isEmpty())
        done.prepend(QStringLiteral("nothing to change"));
    return QStringLiteral("configured: ") + done.join(QStringLiteral(", "));
}

QString outcomeText(const PortApply::Outcome& outcome)
{
    switch (outcome.result) {
    case Result::Configured:
        return configuredText(outcome);
    case Result::Matches:
        return QStringLiteral("matches the profile");
    case Result::Differs:
        return outcome.differences.join(QStringLiteral("; "));
    case Result::Ready:
        return QStringLiteral("ready");
    case Result::Read:
        return TextReport::settings(*outcome.configuration);
    case Result::Saved:
        return QStringLiteral("saved into flash");
    case Result::Failed:
        break;
    }
    const QString failed = QStringLiteral("failed: ") + ApplyReport::failureText(outcome);
    if (outcome.afterFailure.isEmpty())
        return failed;
    return failed + QStringLiteral(". ") + outcome.afterFailure;
}

// A read's entry holds the configuration as read --json prints it.
QJsonObject portObject(const PortApply::Outcome& outcome, Step step)
{
    QJsonObject object =
        outcome.configuration
            ? JsonReport::configuration(outcome.port, outcome.device, *outcome.configuration)
            : JsonReport::port(outcome.port, outcome.device);
    object.insert(QStringLiteral("result"), resultName(outcome.result));
    if (step == Step::Configure || step == Step::Check) {
        object.insert(QStringLiteral("changed"), outcome.changed);
        object.insert(QStringLiteral("saved"), outcome.saved);
    }
    if (step == Step::Save)
        object.insert(QStringLiteral("saved"), outcome.saved);
    const bool failed = outcome.result == Result::Failed;
    object.insert(QStringLiteral("error"),
                  failed ? QJsonValue(outcome.failure.text) : QJsonValue());
    object.insert(QStringLiteral("error_kind"),
                  failed ? QJsonValue(JsonReport::kindName(outcome.failure.kind)) : QJsonValue());
    if (step == Step::Check)
        object.insert(QStringLiteral("differences"),
                      QJsonArray::fromStringList(outcome.differences));
    return object;
}

// "2 configured", "2 ready": the ports whose step went through.
QString succeeded(qsizetype count, Step step)
{
    switch (step) {
    case Step::Detect:
        return QStringLiteral("%1 ready").arg(count);
    case Step::Read:
        return QStringLiteral("%1 read").arg(count);
    case Step::Save:
        return QStringLiteral("%1 saved").arg(count);
    case Step::Configure:
    case Step::Check:
        break;
    }
    return QStringLiteral("%1 configured").arg(count);
}

QString summary(const std::vector<PortApply::Outcome>& outcomes, Step step)
{
    const auto count = [&](Result result) {
        return std::count_if(outcomes.begin(), outcomes.end(),
                             [result](const auto& outcome) { return outcome.result == result; });
    };
    QStringList parts;
    if (step == Step::Check)
        parts << QStringLiteral("%1 matching").arg(count(Result::Matches))
              << QStringLiteral("%1 differing").arg(count(Result::Differs));
    else
        parts << succeeded(static_cast<qsizetype>(outcomes.size()) - count(Result::Failed), step);
    parts << QStringLiteral("%1 failed").arg(count(Result::Failed));
    const qsizetype total = static_cast<qsizetype>(outcomes.size());
    return QStringLiteral("%1 %2: %3")
        .arg(total)
        .arg(total == 1 ? QStringLiteral("adapter") : QStringLiteral("adapters"))
        .arg(parts.join(QStringLiteral(", ")));
}

ExitCode exitCode(const std::vector<PortApply::Outcome>& outcomes)
{
    const auto failed = std::find_if(outcomes.begin(), outcomes.end(), [](const auto& outcome) {
        return outcome.result == Result::Failed;
    });
    if (failed != outcomes.end())
        return failed->failure.code;
    const bool differs = std::any_of(outcomes.begin(), outcomes.end(), [](const auto& outcome) {
        return outcome.result == Result::Differs;
    });
    return differs ? ExitCode::Differs : ExitCode::Success;
}

} // namespace

QString ApplyReport::line(const PortApply::Outcome& outcome)
{
    return QStringLiteral("%1: %2").arg(outcome.port.name(), outcomeText(outcome));
}

QStringList ApplyReport::configuredParts(const PortApply::Outcome& outcome)
{
    QStringList done;
    for (const QJsonValue& name : outcome.changed)
        done << QStringLiteral("%1 set").arg(name.toString());
    if (outcome.saved)
        done << QStringLiteral("saved into flash");
    return done;
}

QString ApplyReport::failureText(const PortApply::Outcome& outcome)
{
    const QString prefix = outcome.description + QStringLiteral(": ");
    const QString& text = outcome.failure.text;
    return text.startsWith(prefix) ? text.mid(prefix.size()) : text;
}

CommandResult ApplyReport::result(const std::vector<PortApply::Outcome>& outcomes, Step step)
{
    CommandResult result;
    QJsonArray ports;
    for (const PortApply::Outcome& outcome : outcomes)
        ports.append(portObject(outcome, step));
    result.json.insert(QStringLiteral("ports"), ports);
    result.lines << summary(outcomes, step);
    result.code = exitCode(outcomes);
    return result;
}

} // namespace qm240lx
