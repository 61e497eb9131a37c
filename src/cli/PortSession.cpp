#include "cli/PortSession.h"

#include "async/Tick.h"
#include "link/PortMaker.h"

#include <utility>

namespace qm240lx {

PortSession::PortSession(const PortChoice& choice, const PortOptions& options, TraceLog* trace,
                         Interruption& interruption)
    : m_choice(choice), m_device(choice.device(processEnvironment).value_or(QString())),
      m_trace(trace), m_interruption(interruption),
      m_port(choice.com ? PortMaker(options, m_portAlarm, systemTick)
                              .makeForCom(*choice.com, processEnvironment)
                        : PortMaker(options, m_portAlarm, systemTick).make(choice.devicePath, {})),
      m_tracing(trace ? std::make_unique<TracingPort>(*m_port, *trace, choice.name()) : nullptr),
      m_exchange(tracedOrPlain(), choice.name(), m_alarm, systemTick)
{
    m_interruption.add(m_exchange);
}

PortSession::~PortSession()
{
    m_interruption.remove(m_exchange);
}

Port& PortSession::tracedOrPlain()
{
    if (m_tracing)
        return *m_tracing;
    return *m_port;
}

Task<std::optional<CliExit>> PortSession::open()
{
    const bool opened = co_await m_exchange.openPort();
    if (opened)
        co_return std::nullopt;
    co_return failure(m_port->failure());
}

QString PortSession::description() const
{
    if (!m_choice.com || m_device.isEmpty())
        return m_choice.name();
    return QStringLiteral("%1 (%2)").arg(m_choice.name(), m_device);
}

ShowText PortSession::show()
{
    if (!m_trace)
        return [](const QString&) {};
    return [this](const QString& text) { m_trace->text(m_choice.name(), text); };
}

CliExit PortSession::portFailure() const
{
    return failure(m_port->failure());
}

// An aborted exchange fails however its port ended: the command was given up.
CliExit PortSession::failure(const PortError& error) const
{
    if (m_exchange.aborted())
        return {exitCodeFor(FailureKind::GivenUp),
                QStringLiteral("%1: abandoned: interrupted").arg(description()),
                FailureKind::GivenUp};
    if (!error.isError())
        return {exitCodeFor(PortError::Kind::Lost),
                QStringLiteral("%1 is not open").arg(description()), PortError::Kind::Lost};
    return {exitCodeFor(error.kind), error.message, error.kind};
}

} // namespace qm240lx
