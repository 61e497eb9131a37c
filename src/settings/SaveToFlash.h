#pragma once

#include "link/Exchange.h"
#include "link/ShowText.h"

namespace qm240lx {

enum class SaveEnd
{
    Saved,      // acknowledged
    Rejected,   // answered with something else
    Silence,    // no answer within the limit: the adapter counts as lost
    PortFailed, // the port is closed or was lost
    Aborted,    // the program is closing
};

inline constexpr Tick saveLimitMs = 1000;

// Tells the adapter to keep its current configuration in flash; one attempt.
SaveEnd saveToFlash(Exchange& exchange, const ShowText& show);

} // namespace qm240lx
