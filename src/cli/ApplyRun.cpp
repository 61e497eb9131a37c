#include "cli/ApplyRun.h"

#include "link/ComMap.h"

#include <algorithm>
#include <limits>
#include <utility>

#include <QFileInfo>
#include <QSet>

namespace qm240lx {
namespace {

// A path stands where its COM number does; a path outside the map comes last.
int comOrder(const PortChoice& port)
{
    return port.mappedCom(processEnvironment).value_or(std::numeric_limits<int>::max());
}

// Two names of one device (COM33 and /dev/ttyUSB0, a symbolic link) are one
// port, which one session holds.
QList<PortChoice> eachDeviceOnce(const QList<PortChoice>& ports)
{
    QList<PortChoice> distinct;
    QSet<QString> seen;
    for (const PortChoice& port : ports) {
        const std::optional<QString> device = port.resolver()(port.commPort());
        const QString canonical = device ? QFileInfo(*device).canonicalFilePath() : QString();
        const QString key = canonical.isEmpty() ? device.value_or(port.name()) : canonical;
        if (seen.contains(key))
            continue;
        seen.insert(key);
        distinct.append(port);
    }
    return distinct;
}

} // namespace

ApplyRun::ApplyRun(PortApply::Plan plan, TraceLog* trace, Interruption& interruption)
    : m_plan(std::move(plan)), m_trace(trace), m_interruption(interruption)
{}

Task<std::vector<PortApply::Outcome>> ApplyRun::run(QList<PortChoice> ports, Finished finished)
{
    const QList<PortChoice> distinct = eachDeviceOnce(ports);
    std::vector<PortApply::Outcome> outcomes(static_cast<std::size_t>(distinct.size()));
    std::vector<Task<>> running;
    running.reserve(outcomes.size());
    for (std::size_t index = 0; index < outcomes.size(); ++index)
        running.push_back(runOne(distinct[qsizetype(index)], outcomes[index], finished));
    for (Task<>& port : running)
        co_await port;
    std::erase_if(outcomes, [](const PortApply::Outcome& outcome) { return outcome.leftOut; });
    std::stable_sort(outcomes.begin(), outcomes.end(), [](const auto& one, const auto& other) {
        return comOrder(one.port) < comOrder(other.port);
    });
    co_return outcomes;
}

Task<> ApplyRun::runOne(PortChoice port, PortApply::Outcome& outcome, const Finished& finished)
{
    outcome = co_await PortApply::run(port, m_plan, m_trace, m_interruption);
    if (!outcome.leftOut)
        finished(outcome);
}

} // namespace qm240lx
