#pragma once

#include "async/Alarm.h"
#include "async/Tick.h"

#include <functional>
#include <utility>

namespace qm240lx::test {

// An alarm and a clock that move only when a test says so, for waits on
// real sockets whose deadlines must not cost real time.
class ManualClock : public Alarm
{
public:
    TickSource tick()
    {
        return [this] { return m_now; };
    }

    void set(Tick ms, std::function<void()> ring) override
    {
        m_ring = std::move(ring);
        m_ringsAt = m_now + ms;
    }
    void cancel() override { m_ring = {}; }

    // Lets `ms` pass; an alarm that falls due meanwhile rings.
    void advance(Tick ms)
    {
        m_now += ms;
        if (m_ring && m_now >= m_ringsAt)
            std::exchange(m_ring, {})();
    }

private:
    Tick m_now = 0;
    Tick m_ringsAt = 0;
    std::function<void()> m_ring;
};

} // namespace qm240lx::test
