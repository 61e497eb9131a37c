#include "link/EventPump.h"

namespace qm240lx {

void settle(EventPump& pump, const TickSource& tick, Tick ms)
{
    const Tick start = tick();
    for (Tick elapsed = 0; !isPastLimit(elapsed, ms); elapsed = elapsedMs(tick(), start))
        pump.pause(ms - elapsed + 1);
}

} // namespace qm240lx
