#include "support/VirtualLine.h"

#include <algorithm>
#include <utility>

#include <QCoreApplication>

namespace qm240lx::test {

VirtualLine::VirtualLine(Tick start, FarEnd* farEnd)
    : m_farEnd(farEnd), m_start(start), m_now(start)
{}

void VirtualLine::idle(Tick ms)
{
    m_passesThisWait = 0;
    advance(ms);
}

void VirtualLine::arrive(const QByteArray& bytes)
{
    if (!m_open)
        return;
    m_inbox += bytes;
    for (const char byte : bytes)
        m_events.push_back({false, static_cast<std::uint8_t>(byte), elapsed()});
}

void VirtualLine::lose(const QString& why)
{
    m_open = false;
    m_inbox.clear();
    m_error = {PortError::Kind::Lost, deviceName(), why};
}

QByteArray VirtualLine::written() const
{
    QByteArray written;
    for (const WireEvent& event : m_events) {
        if (event.fromHost)
            written.append(static_cast<char>(event.byte));
    }
    return written;
}

Task<bool> VirtualLine::open()
{
    co_return openNow();
}

bool VirtualLine::openNow()
{
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

bool VirtualLine::write(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    m_passesThisWait = 0; // a write starts the next wait
    for (const char byte : bytes) {
        m_events.push_back({true, static_cast<std::uint8_t>(byte), elapsed()});
        ++m_bytesWritten;
        if (m_farEnd)
            m_farEnd->take(static_cast<std::uint8_t>(byte), *this);
    }
    return true;
}

std::optional<int> VirtualLine::waiting()
{
    return m_open ? std::optional(static_cast<int>(m_inbox.size())) : std::nullopt;
}

std::optional<QByteArray> VirtualLine::take(int most)
{
    if (!m_open)
        return std::nullopt;
    const QByteArray taken = m_inbox.left(most);
    m_inbox.remove(0, taken.size());
    return taken;
}

void VirtualLine::set(Tick ms, std::function<void()> ring)
{
    m_ring = std::move(ring);
    m_ringsAt = elapsed() + ms;
}

// Each wake-up is one pass of the suspended wait: up to its alarm, or to the
// next arrival, which is news for it.
void VirtualLine::run()
{
    while (m_ring) {
        countPass();
        const Tick toAlarm = m_ringsAt > elapsed() ? m_ringsAt - elapsed() : 0;
        const Tick toNext = toNextDelivery(toAlarm);
        advance(m_step ? *m_step : m_farEnd ? m_farEnd->passStep(toAlarm, toNext) : toNext);
        ++m_passes;
        if (m_hook)
            m_hook(m_passes);
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        if (const std::function<void()> ring = std::exchange(m_ring, {}))
            ring();
    }
}

Tick VirtualLine::toNextDelivery(Tick longest) const
{
    Tick step = longest;
    for (const Delivery& delivery : m_pending)
        step = std::min(step, delivery.due > elapsed() ? delivery.due - elapsed() : 0);
    return step;
}

void VirtualLine::countPass()
{
    if (++m_passesThisWait > passLimit)
        throw EndlessWait();
}

// What falls due arrives in the order it was due; bytes for a closed port are lost.
void VirtualLine::advance(Tick ms)
{
    m_now += ms;
    const auto notDue = std::stable_partition(
        m_pending.begin(), m_pending.end(), [&](const Delivery& d) { return d.due <= elapsed(); });
    std::vector<Delivery> due(m_pending.begin(), notDue);
    m_pending.erase(m_pending.begin(), notDue);
    std::ranges::stable_sort(due, {}, &Delivery::due);
    for (const Delivery& delivery : due) {
        if (delivery.losesPort && m_open)
            lose(QStringLiteral("%1 is gone").arg(deviceName()));
        else
            arrive(delivery.bytes);
    }
}

} // namespace qm240lx::test
