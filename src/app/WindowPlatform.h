#pragma once

#include "async/Tick.h"

namespace qm240lx {

class Alarm;
class PortSource;
class ErrorBox;

// What the window reaches the outside world through. Tests pass fakes.
struct WindowPlatform
{
    PortSource& ports; // the port of each COM number
    Alarm& alarm;
    TickSource tick;
    ErrorBox& errorBox;
};

} // namespace qm240lx
