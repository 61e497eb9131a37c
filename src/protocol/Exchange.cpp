#include "protocol/Exchange.h"

#include "protocol/Opcodes.h"

#include <utility>

namespace qm240lx {

Exchange::Exchange(CommControl& comm, EventPump& pump, TickSource tick)
    : m_comm(comm), m_pump(pump), m_tick(std::move(tick))
{}

Exchange::Command::Command(Exchange& exchange) : m_exchange(exchange)
{
    ++m_exchange.m_commandDepth;
}

Exchange::Command::~Command()
{
    --m_exchange.m_commandDepth;
}

void Exchange::discardStaleInput()
{
    if (!m_comm.portOpen())
        return;
    waitOutLateReply();
    m_comm.discardInput();
}

void Exchange::waitOutLateReply()
{
    const std::optional<Tick> since = std::exchange(m_unansweredSince, std::nullopt);
    if (!since)
        return;
    for (;;) {
        const Tick elapsed = elapsedMs(m_tick(), *since);
        if (m_aborted || isPastLimit(elapsed, lateReplyHorizonMs))
            return;
        m_pump.processEvents(lateReplyHorizonMs - elapsed + 1);
        if (!m_comm.inBufferCount())
            return;
        m_comm.discardInput();
    }
}

void Exchange::settle(Tick ms)
{
    qm240lx::settle(m_pump, m_tick, ms);
}

bool Exchange::writeByte(std::uint8_t byte)
{
    // Once the program is closing, a command under way sends nothing more.
    if (m_aborted || !m_comm.portOpen())
        return false;
    return m_comm.output(QByteArray(1, static_cast<char>(byte)));
}

WaitEnd Exchange::waitForReply(int count, Tick limitMs, const std::function<void()>& eachPass)
{
    m_comm.setInputLen(count);
    const Tick start = m_tick();
    for (;;) {
        if (m_aborted)
            return WaitEnd::Aborted;
        if (eachPass)
            eachPass();
        const Tick elapsed = elapsedMs(m_tick(), start);
        if (isPastLimit(elapsed, limitMs)) {
            m_unansweredSince = start;
            return WaitEnd::Timeout;
        }
        m_pump.processEvents(limitMs - elapsed + 1);
        if (m_aborted)
            return WaitEnd::Aborted;
        const auto waiting = m_comm.inBufferCount();
        if (!waiting)
            return WaitEnd::PortFailed;
        if (*waiting >= count)
            return WaitEnd::Data;
    }
}

std::optional<QByteArray> Exchange::readReply()
{
    return m_comm.input();
}

Answer Exchange::awaitAnswer(Tick limitMs, const std::function<void()>& eachPass)
{
    switch (waitForReply(1, limitMs, eachPass)) {
    case WaitEnd::Timeout:
        return Answer::Silence;
    case WaitEnd::PortFailed:
        return Answer::PortFailed;
    case WaitEnd::Aborted:
        return Answer::Aborted;
    case WaitEnd::Data:
        break;
    }
    const auto reply = readReply();
    if (!reply)
        return Answer::PortFailed;
    if (!reply->isEmpty() && static_cast<std::uint8_t>(reply->at(0)) == opcode::ready)
        return Answer::Acknowledged;
    return Answer::Other;
}

} // namespace qm240lx
