#include "link/QtEventPump.h"

#include <algorithm>
#include <limits>

#include <QCoreApplication>
#include <QThread>

namespace qm240lx {

QtEventPump::QtEventPump(QEventLoop::ProcessEventsFlags flags) : m_flags(flags)
{
    m_wakeUp.setSingleShot(true);
    // A coarse timer may fire up to 5% early.
    m_wakeUp.setTimerType(Qt::PreciseTimer);
}

// The serial port's read notification also wakes the blocked loop.
void QtEventPump::processEvents(std::uint32_t maxWaitMs)
{
    const auto interval = std::min<std::uint32_t>(maxWaitMs, std::numeric_limits<int>::max());
    m_wakeUp.start(static_cast<int>(interval));
    QCoreApplication::processEvents(m_flags | QEventLoop::WaitForMoreEvents);
    m_wakeUp.stop();
}

void QtEventPump::pause(std::uint32_t ms)
{
    QThread::msleep(ms);
}

} // namespace qm240lx
