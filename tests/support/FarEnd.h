#pragma once

#include "async/Tick.h"

#include <cstdint>

namespace qm240lx::test {

class VirtualLine;

// Whatever sits at the far end of a VirtualLine and answers the host.
class FarEnd
{
public:
    virtual ~FarEnd() = default;

    // Takes one byte the host wrote; answers through the line (arriveAfter, lose).
    virtual void take(std::uint8_t byte, VirtualLine& line) = 0;

    // How far one pass of a wait moves the clock. `toNextDelivery` reaches the
    // next byte due, or the end of the wait when that comes first.
    virtual Tick passStep(Tick longest, Tick toNextDelivery)
    {
        (void)longest;
        return toNextDelivery;
    }
};

} // namespace qm240lx::test
