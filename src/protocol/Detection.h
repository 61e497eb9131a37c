#pragma once

#include "protocol/Exchange.h"
#include "protocol/ShowText.h"

namespace qm240lx {

inline constexpr Tick probeSettleMs = 200;
inline constexpr Tick probeLimitMs = 2000;

// Probes the adapter on the open port and shows the outcome. The read-back
// that follows a ready answer is the caller's.
Task<Answer> detectAdapter(Exchange& exchange, ShowText show);

} // namespace qm240lx
