#pragma once

#include "async/Task.h"
#include "cli/Interruption.h"
#include "cli/PortApply.h"

#include <functional>
#include <optional>
#include <vector>

#include <QList>

namespace qm240lx {

// Applies one profile to many ports at the same time, every port's command
// on this thread's event loop.
class ApplyRun
{
public:
    using Finished = std::function<void(const PortApply::Outcome&)>;

    ApplyRun(PortApply::Plan plan, const PortOptions& options, TraceLog* trace,
             Interruption& interruption);

    // Runs the plan on every device of `ports` at once (a device named twice
    // once) and ends when all have ended: the outcomes in COM order, a path
    // under the COM number it stands for, one outside the COM map last.
    // `finished` is told of each port as it ends. Ports left out are in
    // neither.
    Task<std::vector<PortApply::Outcome>> run(QList<PortChoice> ports, Finished finished);

private:
    Task<> runOne(PortChoice port, PortApply::Outcome& outcome, const Finished& finished);

    PortApply::Plan m_plan;
    const PortOptions& m_options;
    TraceLog* m_trace;
    Interruption& m_interruption;
};

} // namespace qm240lx
