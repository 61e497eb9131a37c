#include "cli/ApplyRun.h"

#include <algorithm>
#include <limits>

#include <QEventLoop>

namespace qm240lx {
namespace {

int comOrder(const PortChoice& port)
{
    return port.com ? *port.com : std::numeric_limits<int>::max();
}

} // namespace

ApplyRun::ApplyRun(const PortApply::Task& task, const TraceLog* trace)
    : m_task(task), m_trace(trace)
{}

std::vector<PortApply::Outcome> ApplyRun::run(const QList<PortChoice>& ports,
                                              const Finished& finished)
{
    QEventLoop loop;
    qsizetype running = ports.size();
    for (const PortChoice& port : ports) {
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
