#pragma once

#include "link/Tick.h"

namespace qm240lx::test {

// A tick source that moves only when told to.
class FakeClock
{
public:
    explicit FakeClock(Tick start = 0) : m_now(start) {}

    Tick now() const { return m_now; }
    void advance(Tick ms) { m_now += ms; }
    void set(Tick now) { m_now = now; }
    TickSource source()
    {
        return [this] { return m_now; };
    }

private:
    Tick m_now;
};

} // namespace qm240lx::test
