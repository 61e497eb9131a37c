#pragma once

#include "link/EventPump.h"

#include <QEventLoop>
#include <QTimer>

namespace qm240lx {

// EventPump on the Qt event loop of the calling thread. A window lets every
// event through; a command-line tool can keep user input out.
class QtEventPump : public EventPump
{
public:
    explicit QtEventPump(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

    void processEvents(std::uint32_t maxWaitMs) override;
    void pause(std::uint32_t ms) override;

private:
    QEventLoop::ProcessEventsFlags m_flags;
    // Bounds the blocking wait; its expiry is an event that wakes the loop.
    QTimer m_wakeUp;
};

} // namespace qm240lx
