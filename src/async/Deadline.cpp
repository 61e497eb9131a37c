#include "async/Deadline.h"

#include <utility>

namespace qm240lx {

Deadline::Deadline(Alarm& alarm, TickSource tick, Tick limitMs)
    : m_alarm(alarm), m_tick(std::move(tick)), m_start(m_tick()), m_limitMs(limitMs)
{
    arm();
}

Deadline::~Deadline()
{
    m_alarm.cancel();
}

bool Deadline::expired() const
{
    return isPastLimit(elapsedMs(m_tick(), m_start), m_limitMs);
}

void Deadline::giveUp()
{
    m_givenUp = true;
    m_alarm.cancel();
    if (m_waiting)
        m_waiting->wake();
}

void Deadline::arm()
{
    const Tick elapsed = elapsedMs(m_tick(), m_start);
    const Tick left = elapsed > m_limitMs ? 0 : m_limitMs - elapsed;
    m_alarm.set(left + 1, [this] { ring(); });
}

void Deadline::ring()
{
    if (!expired()) {
        arm();
        return;
    }
    if (m_waiting)
        m_waiting->wake();
}

} // namespace qm240lx
