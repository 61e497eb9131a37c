#pragma once

#include "link/Port.h"

namespace qm240lx {

// Where the window gets the port of the COM number its user chose.
class PortSource
{
public:
    virtual ~PortSource() = default;

    // The port COM `com` stands for; the port made before, closed by now,
    // is let go, and may be destroyed before the new one is made.
    virtual Port& portFor(int com) = 0;
};

} // namespace qm240lx
