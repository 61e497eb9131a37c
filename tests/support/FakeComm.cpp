#include "support/FakeComm.h"

#include "protocol/Opcodes.h"
#include "support/FakeClock.h"

#include <algorithm>

namespace qm240lx::test {

FakeComm::FakeComm(FakeClock& clock) : m_clock(clock), m_start(clock.now()) {}

Tick FakeComm::sinceStart() const
{
    return elapsedMs(m_clock.now(), m_start);
}

void FakeComm::answer(std::initializer_list<int> reply, Tick delayMs)
{
    QByteArray bytes;
    for (int byte : reply)
        bytes.append(static_cast<char>(byte));
    answer(bytes, delayMs);
}

void FakeComm::deliverAt(Tick when, QByteArray bytes, bool losesPort)
{
    m_deliveries.push_back({elapsedMs(when, m_start), bytes, losesPort});
}

bool FakeComm::setPortOpen(bool open)
{
    if (!open) {
        m_open = false;
        return true;
    }
    if (const auto failure = m_openFailures.find(m_port); failure != m_openFailures.end()) {
        m_error = failure->second;
        return false;
    }
    m_open = true;
    m_error = {};
    m_inbox.clear();
    ++m_openCount;
    return true;
}

bool FakeComm::output(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    if (!m_firstWriteTick)
        m_firstWriteTick = m_clock.now();
    for (char byte : bytes)
        onByteWritten(static_cast<std::uint8_t>(byte));
    return true;
}

void FakeComm::onByteWritten(std::uint8_t byte)
{
    m_written.append(static_cast<char>(byte));
    if (m_expectValueByte) {
        m_expectValueByte = false;
        return;
    }
    m_expectValueByte = opcode::takesValue(byte);
    if (m_answers.empty())
        return;
    const Answer next = m_answers.front();
    m_answers.pop_front();
    if (!next.bytes.isEmpty())
        m_deliveries.push_back({sinceStart() + next.delayMs, next.bytes});
}

std::optional<Tick> FakeComm::nextDelivery() const
{
    if (m_deliveries.empty())
        return std::nullopt;
    return m_start + std::ranges::min(m_deliveries, {}, &Delivery::when).when;
}

// In the order they fall due; bytes for a closed port are lost.
void FakeComm::deliverDue()
{
    std::ranges::stable_sort(m_deliveries, {}, &Delivery::when);
    const Tick now = sinceStart();
    while (!m_deliveries.empty() && m_deliveries.front().when <= now) {
        const Delivery delivery = m_deliveries.front();
        m_deliveries.erase(m_deliveries.begin());
        if (delivery.losesPort && m_open) {
            m_open = false;
            m_error = {PortError::Kind::Lost, deviceName(),
                       QStringLiteral("%1 is gone").arg(deviceName())};
        } else if (m_open) {
            m_inbox += delivery.bytes;
        }
    }
}

std::optional<int> FakeComm::inBufferCount()
{
    return m_open ? std::optional<int>(static_cast<int>(m_inbox.size())) : std::nullopt;
}

std::optional<QByteArray> FakeComm::input()
{
    if (!m_open)
        return std::nullopt;
    const QByteArray taken = m_inbox.left(m_inputLen);
    m_inbox.remove(0, taken.size());
    return taken;
}

} // namespace qm240lx::test
