#pragma once

#include "link/Tick.h"

#include <cstdint>

namespace qm240lx {

// How a wait for the adapter lets the rest of the program run. A window
// handles its pending events; a command-line tool handles the serial port's.
class EventPump
{
public:
    virtual ~EventPump() = default;

    // Handles the pending events. When none are pending, sleeps until one
    // arrives (serial data, user input) or about `maxWaitMs` have passed.
    virtual void processEvents(std::uint32_t maxWaitMs) = 0;

    // Sleeps for about `ms` without handling any event.
    virtual void pause(std::uint32_t ms) = 0;
};

// Sleeps, handling no event, until more than `ms` milliseconds of `tick`
// have passed: the settling pause before a probe.
void settle(EventPump& pump, const TickSource& tick, Tick ms);

} // namespace qm240lx
