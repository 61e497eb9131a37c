#pragma once

#include "link/Exchange.h"
#include "link/ShowText.h"

namespace qm240lx {

enum class Detection
{
    Ready,       // the adapter acknowledged the probe
    WrongAnswer, // something answered, but not the acknowledgement
    Silence,     // nothing answered within the limit
    PortFailed,  // the port is closed or was lost
    Aborted,     // the program is closing
};

inline constexpr Tick probeSettleMs = 200;
inline constexpr Tick probeLimitMs = 2000;

// Probes the adapter on the open port and shows the outcome. The read-back
// that follows a ready answer is the caller's.
Detection detectAdapter(Exchange& exchange, const ShowText& show);

} // namespace qm240lx
