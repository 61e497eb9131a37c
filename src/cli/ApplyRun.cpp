#include "cli/ApplyRun.h"

#include "naming/PortKeys.h"

#include <algorithm>
#include <numeric>

#include <QSet>

namespace qm240lx {
namespace {

struct KeyedPort
{
    PortChoice port;
    PortKeys::Key key;
};

// Two names of one device (COM33 and /dev/ttyUSB0, a symbolic link) are one
// port, which one session holds.
std::vector<KeyedPort> eachDeviceOnce(const QList<PortChoice>& ports)
{
    const PortKeys keys(processEnvironment);
    std::vector<KeyedPort> distinct;
    QSet<QString> seen;
    for (const PortChoice& port : ports) {
        PortKeys::Key key = keys.of(port.com, port.devicePath);
        if (seen.contains(key.device))
            continue;
        seen.insert(key.device);
        distinct.push_back({port, std::move(key)});
    }
    return distinct;
}

} // namespace

ApplyRun::ApplyRun(PortApply::Plan plan, const PortOptions& options, TraceLog* trace,
                   Interruption& interruption)
    : m_plan(std::move(plan)), m_options(options), m_trace(trace), m_interruption(interruption)
{}

Task<std::vector<PortApply::Outcome>> ApplyRun::run(QList<PortChoice> ports, Finished finished)
{
    const std::vector<KeyedPort> distinct = eachDeviceOnce(ports);
    std::vector<PortApply::Outcome> outcomes(distinct.size());
    std::vector<Task<>> running;
    running.reserve(distinct.size());
    for (std::size_t index = 0; index < distinct.size(); ++index)
        running.push_back(runOne(distinct[index].port, outcomes[index], finished));
    for (Task<>& port : running)
        co_await port;
    std::vector<std::size_t> order(distinct.size());
    std::iota(order.begin(), order.end(), 0);
    std::ranges::stable_sort(order, {},
                             [&distinct](std::size_t index) { return distinct[index].key.order; });
    std::vector<PortApply::Outcome> sorted;
    for (const std::size_t index : order) {
        if (!outcomes[index].leftOut)
            sorted.push_back(std::move(outcomes[index]));
    }
    co_return sorted;
}

Task<> ApplyRun::runOne(PortChoice port, PortApply::Outcome& outcome, const Finished& finished)
{
    outcome = co_await PortApply::run(port, m_plan, m_options, m_trace, m_interruption);
    if (!outcome.leftOut)
        finished(outcome);
}

} // namespace qm240lx
