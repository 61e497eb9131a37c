#pragma once

#include "cli/TraceLog.h"
#include "link/ComMap.h"
#include "link/EventPump.h"
#include "link/QtSerialComm.h"
#include "link/Tick.h"

#include <functional>
#include <memory>
#include <vector>

#include <QList>
#include <QString>

namespace qm240lx {

// Probes many ports at the same time: all are opened, settle together, get
// the probe together and share one wait, so a scan takes as long as one
// detection however many ports there are.
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
                                  const Exists& exists,
                                  const QtSerialComm::ConsoleCheck& isConsole);

    // With a `trace`, every byte goes to it.
    PortScan(EventPump& pump, TickSource tick, QtSerialComm::ConsoleCheck isConsole,
             TraceLog* trace);
    ~PortScan();
    PortScan(const PortScan&) = delete;
    PortScan& operator=(const PortScan&) = delete;

    // The ports among `ports` where an adapter answered the probe with its
    // acknowledgement, in the order given.
    QList<Port> run(const QList<Port>& ports);

    // Ends the running wait at its next pass; every later wait ends at once.
    void abort() { m_aborted = true; }

private:
    struct Probe;

    void openAll(const QList<Port>& ports);
    void probeAll();
    void waitForAnswers();
    void collectAnswers();

    EventPump& m_pump;
    TickSource m_tick;
    QtSerialComm::ConsoleCheck m_isConsole;
    TraceLog* m_trace;
    std::vector<std::unique_ptr<Probe>> m_probes;
    bool m_aborted = false;
};

} // namespace qm240lx
