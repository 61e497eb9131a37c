#include "cli/PortScan.h"

#include "cli/CliCommands.h"
#include "cli/PortSession.h"

#include <algorithm>
#include <vector>

#include <QFileInfo>
#include <QSet>

namespace qm240lx {
namespace {

// Two spellings of one device (a symbolic link, a relative path) are one port.
QString canonicalDevice(const QString& device)
{
    const QFileInfo info(device);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

} // namespace

QList<PortScan::Port> PortScan::candidates(const QList<int>& comNumbers, const EnvLookup& env,
                                           const Exists& exists,
                                           const PortOptions::ConsoleCheck& isConsole)
{
    QList<int> ascending = comNumbers;
    std::sort(ascending.begin(), ascending.end());
    QList<Port> ports;
    QSet<QString> seen;
    for (int com : ascending) {
        const std::optional<QString> device = comDevice(com, env);
        if (!device || !exists(*device) || isConsole(*device))
            continue;
        const QString canonical = canonicalDevice(*device);
        if (seen.contains(canonical))
            continue;
        seen.insert(canonical);
        ports.append(Port{com, *device});
    }
    return ports;
}

Task<QList<PortScan::Port>> PortScan::run(QList<Port> ports, const PortOptions& options,
                                          TraceLog* trace, Interruption& interruption)
{
    std::vector<Task<bool>> probes;
    probes.reserve(static_cast<std::size_t>(ports.size()));
    for (const Port& port : ports)
        probes.push_back(answersReady(port, options, trace, interruption));
    QList<Port> found;
    for (qsizetype index = 0; index < ports.size(); ++index) {
        const bool answered = co_await probes[static_cast<std::size_t>(index)];
        if (answered)
            found.append(ports[index]);
    }
    co_return found;
}

// A port that cannot be opened (absent, busy, the console) is no adapter.
Task<bool> PortScan::answersReady(Port port, const PortOptions& options, TraceLog* trace,
                                  Interruption& interruption)
{
    PortSession session(PortChoice::comPort(port.com), options, trace, interruption);
    const std::optional<CliExit> unusable = co_await session.open();
    if (unusable) {
        if (trace)
            trace->text(session.port().name(), unusable->text);
        co_return false;
    }
    CliCommands commands(session);
    co_return !co_await commands.probe();
}

} // namespace qm240lx
