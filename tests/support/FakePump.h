#pragma once

#include "link/EventPump.h"
#include "link/Tick.h"

#include <functional>
#include <optional>

namespace qm240lx::test {

class FakeClock;
class FakeComm;

// Stands in for the event loop during waits. Each call moves the fake clock:
// by a fixed step when one is set, otherwise to the next scripted delivery or
// to the end of the allowed sleep, whichever is first. It then delivers what
// has become due, runs the test's hook and handles queued Qt events.
class FakePump : public EventPump
{
public:
    FakePump(FakeClock& clock, FakeComm& comm);

    void setStep(std::optional<Tick> stepMs) { m_step = stepMs; }
    // Runs inside each processEvents, after delivery, as a user's action
    // would; `pass` counts from 1 at the first call after the hook is set.
    void setHook(std::function<void(int pass)> hook)
    {
        m_hook = std::move(hook);
        m_hookPasses = 0;
    }

    int passes() const { return m_passes; }
    Tick paused() const { return m_paused; }

    void processEvents(std::uint32_t maxWaitMs) override;
    void pause(std::uint32_t ms) override;

private:
    FakeClock& m_clock;
    FakeComm& m_comm;
    std::optional<Tick> m_step;
    std::function<void(int)> m_hook;
    int m_passes = 0;
    int m_hookPasses = 0;
    Tick m_paused = 0;
};

} // namespace qm240lx::test
