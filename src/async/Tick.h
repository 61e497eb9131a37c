#pragma once

#include <cstdint>
#include <functional>

namespace qm240lx {

// Millisecond tick reading: unsigned 32 bits that wrap around after about
// 49.7 days. Differences are taken modulo 2^32, so a wait that spans the wrap
// still measures correctly.
using Tick = std::uint32_t;
using TickSource = std::function<Tick()>;

constexpr Tick elapsedMs(Tick now, Tick start)
{
    return static_cast<Tick>(now - start);
}

// Limits are compared strictly: with a 2000 ms limit, 2000 ms elapsed goes on
// and 2001 ms is over.
constexpr bool isPastLimit(Tick elapsed, Tick limitMs)
{
    return elapsed > limitMs;
}

// Milliseconds of the system's monotonic clock, truncated to 32 bits.
Tick systemTick();

} // namespace qm240lx
