#include "cli/PortScan.h"

#include "cli/TracingComm.h"
#include "link/PortComm.h"
#include "protocol/Detection.h"
#include "protocol/Opcodes.h"

#include <algorithm>
#include <utility>

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

struct PortScan::Probe
{
    enum class State
    {
        Waiting,
        Ready,
        Done, // answered otherwise, or failed
    };

    Port port;
    std::unique_ptr<PortComm> serial;
    std::unique_ptr<TracingComm> tracing;
    State state = State::Waiting;

    CommControl& comm() { return tracing ? static_cast<CommControl&>(*tracing) : *serial; }
};

QList<PortScan::Port> PortScan::candidates(const QList<int>& comNumbers, const EnvLookup& env,
                                           const Exists& exists,
                                           const QtSerialComm::ConsoleCheck& isConsole)
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

PortScan::PortScan(EventPump& pump, TickSource tick, QtSerialComm::ConsoleCheck isConsole,
                   TraceLog* trace)
    : m_pump(pump), m_tick(std::move(tick)), m_isConsole(std::move(isConsole)), m_trace(trace)
{}

PortScan::~PortScan() = default;

QList<PortScan::Port> PortScan::run(const QList<Port>& ports)
{
    m_probes.clear();
    openAll(ports);
    if (!m_probes.empty()) {
        settle(m_pump, m_tick, probeSettleMs);
        probeAll();
        waitForAnswers();
    }
    QList<Port> found;
    for (const std::unique_ptr<Probe>& probe : m_probes) {
        if (probe->state == Probe::State::Ready)
            found.append(probe->port);
    }
    m_probes.clear();
    return found;
}

// A port that cannot be opened (absent, busy, the console) is no adapter.
void PortScan::openAll(const QList<Port>& ports)
{
    for (const Port& port : ports) {
        auto probe = std::make_unique<Probe>();
        probe->port = port;
        probe->serial = std::make_unique<PortComm>(
            [device = port.device](int) { return std::optional<QString>(device); }, m_isConsole);
        probe->serial->setCommPort(port.com);
        const QString name = QStringLiteral("COM%1").arg(port.com);
        if (m_trace)
            probe->tracing = std::make_unique<TracingComm>(*probe->serial, *m_trace, name);
        if (!probe->serial->setPortOpen(true)) {
            if (m_trace)
                m_trace->text(name, probe->serial->lastError().message);
            continue;
        }
        m_probes.push_back(std::move(probe));
    }
}

void PortScan::probeAll()
{
    for (const std::unique_ptr<Probe>& probe : m_probes) {
        CommControl& comm = probe->comm();
        comm.discardInput();
        comm.setInputLen(1);
        if (!comm.output(QByteArray(1, static_cast<char>(opcode::probe))))
            probe->state = Probe::State::Done;
    }
}

void PortScan::waitForAnswers()
{
    const auto waiting = [this] {
        return std::any_of(m_probes.begin(), m_probes.end(),
                           [](const auto& probe) { return probe->state == Probe::State::Waiting; });
    };
    const Tick start = m_tick();
    while (waiting() && !m_aborted) {
        const Tick elapsed = elapsedMs(m_tick(), start);
        if (isPastLimit(elapsed, probeLimitMs))
            return;
        m_pump.processEvents(probeLimitMs - elapsed + 1);
        if (m_aborted)
            return;
        collectAnswers();
    }
}

// The first byte of an answer is judged, as in a detection.
void PortScan::collectAnswers()
{
    for (const std::unique_ptr<Probe>& probe : m_probes) {
        if (probe->state != Probe::State::Waiting)
            continue;
        CommControl& comm = probe->comm();
        const std::optional<int> count = comm.inBufferCount();
        if (count && *count < 1)
            continue;
        const std::optional<QByteArray> answer = count ? comm.input() : std::nullopt;
        const bool ready = answer && !answer->isEmpty() &&
                           static_cast<std::uint8_t>(answer->at(0)) == opcode::ready;
        probe->state = ready ? Probe::State::Ready : Probe::State::Done;
    }
}

} // namespace qm240lx
