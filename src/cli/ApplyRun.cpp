#include "cli/ApplyRun.h"

#include "link/PortKeys.h"

#include <algorithm>
#include <numeric>

#include <QEventLoop>
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
        PortKeys::Key key = keys.of(port);
        if (seen.contains(key.device))
            continue;
        seen.insert(key.device);
        distinct.push_back({port, std::move(key)});
    }
    return distinct;
}

} // namespace

ApplyRun::ApplyRun(const PortApply::Task& task, const TraceLog* trace)
    : m_task(task), m_trace(trace)
{}

std::vector<PortApply::Outcome> ApplyRun::run(const QList<PortChoice>& ports,
                                              const Finished& finished)
{
    QEventLoop loop;
    const std::vector<KeyedPort> distinct = eachDeviceOnce(ports);
    std::size_t running = distinct.size();
    for (const KeyedPort& keyed : distinct) {
        m_ports.push_back(std::make_unique<PortApply>(keyed.port, m_task, m_trace));
        PortApply& apply = *m_ports.back();
        apply.start([&] {
            finished(apply.outcome());
            if (--running == 0)
                loop.quit();
        });
        if (m_stopped)
            apply.stop();
    }
    if (running > 0)
        loop.exec();
    std::vector<std::size_t> order(m_ports.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&distinct](std::size_t one, std::size_t other) {
        return distinct[one].key.order < distinct[other].key.order;
    });
    std::vector<PortApply::Outcome> outcomes;
    for (const std::size_t index : order)
        outcomes.push_back(m_ports[index]->outcome());
    m_ports.clear();
    return outcomes;
}

void ApplyRun::stop()
{
    m_stopped = true;
    for (const std::unique_ptr<PortApply>& apply : m_ports)
        apply->stop();
}

} // namespace qm240lx
