#include "support/FakePump.h"

#include "support/FakeClock.h"
#include "support/FakeComm.h"

#include <algorithm>

#include <QCoreApplication>

namespace qm240lx::test {

FakePump::FakePump(FakeClock& clock, FakeComm& comm) : m_clock(clock), m_comm(comm) {}

void FakePump::processEvents(std::uint32_t maxWaitMs)
{
    Tick step = m_step.value_or(maxWaitMs);
    if (!m_step) {
        if (const auto next = m_comm.nextDelivery())
            step = std::min(step, elapsedMs(*next, m_clock.now()));
    }
    m_clock.advance(step);
    m_comm.deliverDue();
    ++m_passes;
    if (m_hook)
        m_hook(++m_hookPasses);
    QCoreApplication::processEvents();
}

void FakePump::pause(std::uint32_t ms)
{
    m_clock.advance(ms);
    m_paused += ms;
    m_comm.deliverDue();
}

} // namespace qm240lx::test
