#pragma once

#include "cli/PortApply.h"

#include <functional>
#include <memory>
#include <vector>

#include <QList>

namespace qm240lx {

// Applies one profile to many ports at the same time: each port's session
// runs on its own thread while this one waits in its event loop, which also
// delivers the termination signals.
class ApplyRun
{
public:
    using Finished = std::function<void(const PortApply::Outcome&)>;

    ApplyRun(const PortApply::Task& task, const TraceLog* trace);

    // Runs the task on every device of `ports` at once (a device named twice
    // once) and returns when all have ended: the outcomes in COM order, a
    // path under the COM number it stands for, one outside the COM map last.
    // `finished` is told of each port as it ends.
    std::vector<PortApply::Outcome> run(const QList<PortChoice>& ports, const Finished& finished);

    // Ends every port's command; a run that starts later stops at once.
    void stop();

private:
    PortApply::Task m_task;
    const TraceLog* m_trace;
    std::vector<std::unique_ptr<PortApply>> m_ports;
    bool m_stopped = false;
};

} // namespace qm240lx
