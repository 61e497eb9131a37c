#pragma once

#include "async/Tick.h"

#include <functional>

namespace qm240lx {

// A single-shot timer: how time resumes a suspended command. Tests put a
// virtual clock here.
class Alarm
{
public:
    virtual ~Alarm() = default;

    // Rings once, from the event loop, after about `ms` milliseconds; a new
    // setting replaces the one before.
    virtual void set(Tick ms, std::function<void()> ring) = 0;
    virtual void cancel() = 0;
};

} // namespace qm240lx
