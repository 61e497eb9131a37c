#include "async/Tick.h"

#include <chrono>

namespace qm240lx {

Tick systemTick()
{
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count();
    return static_cast<Tick>(ms);
}

} // namespace qm240lx
