#include "cli/ApplyRun.h"

#include "link/ComMap.h"

#include <algorithm>
#include <limits>

#include <QEventLoop>
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

ApplyRun::ApplyRun(const PortApply::Task& task, const TraceLog* trace)
    : m_task(task), m_trace(trace)
{}

std::vector<PortApply::Outcome> ApplyRun::run(const QList<PortChoice>& ports,
                                              const Finished& finished)
{
    QEventLoop loop;
    const QList<PortChoice> distinct = eachDeviceOnce(ports);
    qsizetype running = distinct.size();
    for (const PortChoice& port : distinct) {
        m_ports.push_back(std::make_unique<PortApply>(port, m_task, m_trace));
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
    std::vector<PortApply::Outcome> outcomes;
    for (const std::unique_ptr<PortApply>& apply : m_ports)
        outcomes.push_back(apply->outcome());
    m_ports.clear();
    std::stable_sort(outcomes.begin(), outcomes.end(), [](const auto& one, const auto& other) {
        return comOrder(one.port) < comOrder(other.port);
    });
    return outcomes;
}

void ApplyRun::stop()
{
    m_stopped = true;
    for (const std::unique_ptr<PortApply>& apply : m_ports)
        apply->stop();
}

} // namespace qm240lx
