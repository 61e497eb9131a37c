#include "support/FakeComm.h"

#include "link/Opcodes.h"
#include "support/FakeClock.h"

#include <algorithm>

namespace qm240lx::test {

FakeComm::FakeComm(FakeClock& clock) : m_clock(clock), m_start(clock.now()) {}

Tick FakeComm::sinceStart() const
{
    return elapsedMs(m_clock.now(), m_start);
}

void FakeComm::answer(QByteArray reply, Tick delayMs)
{
    m_answers.push_back({reply, delayMs});
}

void FakeComm::answer(std::initializer_list<int> reply, Tick delayMs)
{
    QByteArray bytes;
    for (int byte : reply)
        bytes.append(static_cast<char>(byte));
    answer(bytes, delayMs);
}

void FakeComm::receiveAt(Tick when, QByteArray bytes)
{
    m_deliveries.push_back({elapsedMs(when, m_start), bytes});
}

void FakeComm::loseAt(Tick when)
{
    m_deliveries.push_back({elapsedMs(when, m_start), {}, true});
}

void FakeComm::failOpening(int port, PortError error)
{
    m_openFailures.emplace_back(port, error);
}

bool FakeComm::setPortOpen(bool open)
{
    if (!open) {
        m_open = false;
        return true;
    }
    const auto failure = std::find_if(m_openFailures.begin(), m_openFailures.end(),
                                      [&](const auto& entry) { return entry.first == m_port; });
    if (failure != m_openFailures.end()) {
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
    m_expectValueByte =
        byte == opcode::setHByte || byte == opcode::setDByte || byte == opcode::setPByte;
    if (m_answers.empty())
        return;
    const Answer next = m_answers.front();
    m_answers.pop_front();
    if (!next.bytes.isEmpty())
        m_deliveries.push_back({sinceStart() + next.delayMs, next.bytes});
}

std::optional<Tick> FakeComm::nextDelivery() const
{
    std::optional<Tick> next;
    for (const Delivery& delivery : m_deliveries) {
        if (!next || delivery.when < *next)
            next = delivery.when;
    }
    if (next)
        return m_start + *next;
    return std::nullopt;
}

void FakeComm::deliverDue()
{
    const Tick now = sinceStart();
    auto due = std::stable_partition(m_deliveries.begin(), m_deliveries.end(),
                                     [&](const Delivery& d) { return d.when > now; });
    std::vector<Delivery> arrived(due, m_deliveries.end());
    m_deliveries.erase(due, m_deliveries.end());
    std::stable_sort(arrived.begin(), arrived.end(),
                     [](const Delivery& a, const Delivery& b) { return a.when < b.when; });
    for (const Delivery& delivery : arrived) {
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
    if (!m_open)
        return std::nullopt;
    return static_cast<int>(m_inbox.size());
}

std::optional<QByteArray> FakeComm::input()
{
    if (!m_open)
        return std::nullopt;
    const QByteArray taken = m_inbox.left(m_inputLen);
    m_inbox.remove(0, taken.size());
    return taken;
}

void FakeComm::discardInput()
{
    m_inbox.clear();
}

QString FakeComm::deviceName() const
{
    return QStringLiteral("/dev/fake%1").arg(m_port);
}

} // namespace qm240lx::test
