#pragma once

#include "link/Tick.h"

namespace qm240lx {

class Alarm;
class CommControl;
class ErrorBox;

// What the window reaches the outside world through. Tests pass fakes.
struct WindowPlatform
{
    CommControl& comm;
    Alarm& alarm;
    TickSource tick;
    ErrorBox& errorBox;
};

} // namespace qm240lx
