#pragma once

#include "async/QtAlarm.h"
#include "async/Task.h"
#include "cli/CliExit.h"
#include "cli/Interruption.h"
#include "cli/TraceLog.h"
#include "cli/TracingPort.h"
#include "link/PortChoice.h"
#include "link/PortOptions.h"
#include "link/PortStack.h"
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
    PortSession(const PortChoice& choice, const PortOptions& options, TraceLog* trace,
                Interruption& interruption);
    ~PortSession();

    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

    // Opens the port; the failure, when it cannot.
    Task<std::optional<CliExit>> open();

    Exchange& exchange() { return m_exchange; }
    const PortChoice& port() const { return m_choice; }

    // The device the port stands for; empty when none.
    const QString& device() const { return m_device; }

    // "COM3 (/dev/ttyUSB2)", or the path alone, for messages.
    QString description() const;

    // Where the engine's progress texts go: the trace, or nowhere.
    ShowText show();

    // The failure for a port that failed while in use; given up once the
    // exchange was aborted.
    CliExit portFailure() const;

private:
    Port& tracedOrPlain();
    CliExit failure(const PortError& error) const;

    PortChoice m_choice;
    QString m_device;
    TraceLog* m_trace;
    Interruption& m_interruption;
    QtAlarm m_portAlarm;
    std::unique_ptr<PortStack> m_port;
    std::unique_ptr<TracingPort> m_tracing;
    QtAlarm m_alarm;
    Exchange m_exchange;
};

} // namespace qm240lx
