#include "support/SimulatedLine.h"

#include <algorithm>

namespace qm240lx::test {

SimulatedLine::SimulatedLine(sim::Adapter adapter, Tick start)
    : m_adapter(std::move(adapter)), m_start(start), m_now(start)
{}

void SimulatedLine::idle(Tick ms)
{
    m_passes = 0;
    advance(ms);
}

bool SimulatedLine::output(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    for (const char byte : bytes)
        receive(static_cast<std::uint8_t>(byte));
    return true;
}

void SimulatedLine::receive(std::uint8_t byte)
{
    if (!m_open)
        return;
    m_events.push_back({true, byte});
    ++m_bytesWritten;
    m_passes = 0; // a write starts the next wait
    sim::Adapter::Outcome outcome =
        m_adapter.receive(byte, sim::Adapter::Millis(static_cast<int>(sinceStart())));
    if (outcome.unplugged) {
        m_open = false;
        m_replies.clear();
        m_inbox.clear();
        m_error = {PortError::Kind::Lost, deviceName(),
                   QStringLiteral("the adapter was unplugged")};
    }
    m_flashWrites += outcome.flashWritten;
    if (outcome.reply)
        m_replies.push_back(std::move(*outcome.reply));
}

std::optional<int> SimulatedLine::inBufferCount()
{
    return m_open ? std::optional(static_cast<int>(m_inbox.size())) : std::nullopt;
}

std::optional<QByteArray> SimulatedLine::input()
{
    if (!m_open)
        return std::nullopt;
    const QByteArray taken = m_inputLen == 0 ? m_inbox : m_inbox.left(m_inputLen);
    m_inbox.remove(0, taken.size());
    return taken;
}

void SimulatedLine::processEvents(std::uint32_t maxWaitMs)
{
    Tick step = std::max<Tick>(maxWaitMs, 1);
    if (!m_replies.empty()) {
        const auto due = static_cast<Tick>(m_replies.front().due.count());
        step = std::clamp<Tick>(due - std::min(due, sinceStart()), 1, step);
    }
    pause(step);
}

void SimulatedLine::pause(std::uint32_t ms)
{
    if (++m_passes > passLimit)
        throw EndlessWait();
    advance(ms);
}

// The adapter sends its replies in order; a late one holds back those after it.
void SimulatedLine::advance(Tick ms)
{
    m_now += ms;
    while (m_open && !m_replies.empty() &&
           static_cast<Tick>(m_replies.front().due.count()) <= sinceStart()) {
        for (const char byte : m_replies.front().bytes) {
            m_inbox.append(byte);
            m_events.push_back({false, static_cast<std::uint8_t>(byte)});
        }
        m_replies.pop_front();
    }
}

} // namespace qm240lx::test
