#pragma once

#include "cli/CliExit.h"
#include "cli/Interruption.h"
#include "cli/TraceLog.h"
#include "cli/TracingComm.h"
#include "link/ComMap.h"
#include "link/PortChoice.h"
#include "link/PortComm.h"
#include "link/QtAlarm.h"
#include "link/Task.h"
#include "protocol/Exchange.h"
#include "protocol/ShowText.h"

#include <memory>
#include <optional>

namespace qm240lx {

// One port opened for the length of one command, with the exchange that
// runs the adapter's commands on it. Many sessions run side by side on one
// thread; an interruption ends each one's command.
class PortSession
{
public:
    // With a `trace`, every byte and progress text goes to it.
    PortSession(const PortChoice& choice, TraceLog* trace, Interruption& interruption,
                QtSerialComm::ConsoleCheck isConsole = isSystemConsole);
    ~PortSession();

    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Opens the port; the failure, when it cannot.
    Task<std::optional<CliExit>> open();

    Exchange& exchange() { return m_exchange; }
    const PortChoice& port() const { return m_port; }

    // The device the port stands for; empty when none.
    QString device() const { return m_serial.deviceName(); }

    // "COM3 (/dev/ttyUSB2)", or the path alone, for messages.
    QString description() const;

    // Where the engine's progress texts go: the trace, or nowhere.
    ShowText show();

    // The failure for a port that failed while in use.
    CliExit portFailure() const;

private:
    CommControl& tracedOrPlain();
    CliExit failure(const PortError& error) const;

    PortChoice m_port;
    TraceLog* m_trace;
    Interruption& m_interruption;
    PortComm m_serial;
    std::unique_ptr<TracingComm> m_tracing;
    QtAlarm m_alarm;
    Exchange m_exchange;
};

} // namespace qm240lx
