#pragma once

#include "link/Tick.h"

namespace qm240lx {

class CommControl;
class ErrorBox;
class EventPump;

// What the window reaches the outside world through. Tests pass fakes.
struct WindowPlatform
{
    CommControl& comm;
    EventPump& pump;
    TickSource tick;
    ErrorBox& errorBox;
};

} // namespace qm240lx
