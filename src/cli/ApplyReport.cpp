#include "cli/ApplyReport.h"

#include "cli/JsonReport.h"

#include <algorithm>

#include <QJsonArray>

namespace qm240lx {
namespace {

using Result = PortApply::Result;

QString resultName(Result result)
{
    switch (result) {
    case Result::Configured:
        return QStringLiteral("configured");
    case Result::Matches:
        return QStringLiteral("matches");
    case Result::Differs:
        return QStringLiteral("differs");
    case Result::Failed:
        break;
    }
    return QStringLiteral("failed");
}

// A failure's own text mostly begins with the port's description already.
QString failureText(const PortApply::Outcome& outcome)
{
    const QString prefix = outcome.description + QStringLiteral(": ");
    const QString& text = outcome.failure.text;
    return text.startsWith(prefix) ? text.mid(prefix.size()) : text;
}

QString configuredText(const PortApply::Outcome& outcome)
{
    QStringList done;
    for (const QJsonValue& name : outcome.changed)
        done << QStringLiteral("%1 set").arg(name.toString());
    if (done.isEmpty())
        done << QStringLiteral("nothing to change");
    if (outcome.saved)
        done << QStringLiteral("saved into flash");
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
    case Result::Failed:
        break;
    }
    const QString failed = QStringLiteral("failed: ") + failureText(outcome);
    if (outcome.afterFailure.isEmpty())
        return failed;
    return failed + QStringLiteral(". ") + outcome.afterFailure;
}

QJsonObject portObject(const PortApply::Outcome& outcome, bool check)
{
    QJsonObject object = JsonReport::port(outcome.port, outcome.device);
    object.insert(QStringLiteral("result"), resultName(outcome.result));
    object.insert(QStringLiteral("changed"), outcome.changed);
    object.insert(QStringLiteral("saved"), outcome.saved);
    const bool failed = outcome.result == Result::Failed;
    object.insert(QStringLiteral("error"),
                  failed ? QJsonValue(outcome.failure.text) : QJsonValue());
    object.insert(QStringLiteral("error_kind"),
                  failed ? QJsonValue(JsonReport::kindName(outcome.failure.kind)) : QJsonValue());
    if (check)
        object.insert(QStringLiteral("differences"),
                      QJsonArray::fromStringList(outcome.differences));
    return object;
}

QString summary(const std::vector<PortApply::Outcome>& outcomes, bool check)
{
    const auto count = [&](Result result) {
        return std::count_if(outcomes.begin(), outcomes.end(),
                             [result](const auto& outcome) { return outcome.result == result; });
    };
    QStringList parts;
    if (check)
        parts << QStringLiteral("%1 matching").arg(count(Result::Matches))
              << QStringLiteral("%1 differing").arg(count(Result::Differs));
    else
        parts << QStringLiteral("%1 configured").arg(count(Result::Configured));
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

CommandResult ApplyReport::result(const std::vector<PortApply::Outcome>& outcomes, bool check)
{
    CommandResult result;
    QJsonArray ports;
    for (const PortApply::Outcome& outcome : outcomes)
        ports.append(portObject(outcome, check));
    result.json.insert(QStringLiteral("ports"), ports);
    result.lines << summary(outcomes, check);
    result.code = exitCode(outcomes);
    return result;
}

} // namespace qm240lx
