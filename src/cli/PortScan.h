#pragma once

#include "async/Task.h"
#include "cli/Interruption.h"
#include "cli/TraceLog.h"
#include "link/PortOptions.h"
#include "naming/ComMap.h"

#include <functional>

#include <QList>
#include <QString>

namespace qm240lx {

// Probes many ports at the same time, each with the detection every command
// makes, all on this thread: a scan takes as long as one detection however
// many ports there are.
class PortScan
{
public:
    struct Port
    {
        int com = 0;
        QString device;

        friend bool operator==(const Port&, const Port&) = default;
    };

    using Exists = std::function<bool(const QString& device)>;

    // The ports worth probing among `comNumbers`: those whose device exists
    // and is not the system console, each device once, under its lowest COM
    // number.
    static QList<Port> candidates(const QList<int>& comNumbers, const EnvLookup& env,
                                  const Exists& exists, const PortOptions::ConsoleCheck& isConsole);

    // The ports among `ports` where an adapter answered the probe with its
    // acknowledgement, in the order given. With a `trace`, every byte goes
    // to it.
    static Task<QList<Port>> run(QList<Port> ports, const PortOptions& options, TraceLog* trace,
                                 Interruption& interruption);

private:
    static Task<bool> answersReady(Port port, const PortOptions& options, TraceLog* trace,
                                   Interruption& interruption);
};

} // namespace qm240lx
