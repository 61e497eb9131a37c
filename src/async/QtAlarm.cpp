#include "async/QtAlarm.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace qm240lx {

QtAlarm::QtAlarm()
{
    m_timer.setSingleShot(true);
    // A coarse timer may ring up to 5% early.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // The ring may set the alarm again.
        if (const std::function<void()> ring = std::exchange(m_ring, {}))
            ring();
    });
}

void QtAlarm::set(Tick ms, std::function<void()> ring)
{
    m_ring = std::move(ring);
    m_timer.start(static_cast<int>(std::min<Tick>(ms, std::numeric_limits<int>::max())));
}

void QtAlarm::cancel()
{
    m_timer.stop();
    m_ring = {};
}

} // namespace qm240lx
