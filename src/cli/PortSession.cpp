#include "cli/PortSession.h"

#include "link/Tick.h"

#include <utility>

namespace qm240lx {

PortSession::PortSession(const PortChoice& choice, TraceLog* trace, Interruption& interruption,
                         QtSerialComm::ConsoleCheck isConsole)
    : m_port(choice), m_trace(trace), m_interruption(interruption),
      m_serial(choice.resolver(), std::move(isConsole)),
      m_tracing(trace ? std::make_unique<TracingComm>(m_serial, *trace, choice.name()) : nullptr),
      m_exchange(tracedOrPlain(), m_alarm, systemTick)
{
    m_serial.setCommPort(choice.commPort());
    m_interruption.add(m_exchange);
}

PortSession::~PortSession()
{
    m_interruption.remove(m_exchange);
}

CommControl& PortSession::tracedOrPlain()
{
    if (m_tracing)
        return *m_tracing;
    return m_serial;
}

Task<std::optional<CliExit>> PortSession::open()
{
    const bool open = co_await m_exchange.openPort();
    if (open)
        co_return std::nullopt;
    co_return failure(m_serial.lastError());
}

QString PortSession::description() const
{
    const QString device = this->device();
    if (!m_port.com || device.isEmpty())
        return m_port.name();
    return QStringLiteral("%1 (%2)").arg(m_port.name(), device);
}

ShowText PortSession::show()
{
    if (!m_trace)
        return [](const QString&) {};
    return [this](const QString& text) { m_trace->text(m_port.name(), text); };
}

CliExit PortSession::portFailure() const
{
    return failure(m_serial.lastError());
}

// The serial control's own sentences name a COM number; a port given by its
// path is told of by the path alone.
CliExit PortSession::failure(const PortError& error) const
{
    const ExitCode code = exitCodeFor(error.kind);
    if (!error.isError())
        return {code, QStringLiteral("%1 is not open").arg(description())};
    if (!m_port.com && error.kind == PortError::Kind::NoSuchDevice)
        return {code,
                QStringLiteral("The serial device %1 does not exist.").arg(m_port.devicePath)};
    return {code, error.message};
}

} // namespace qm240lx
