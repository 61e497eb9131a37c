#pragma once

#include "protocol/Exchange.h"
#include "protocol/ShowText.h"

namespace qm240lx {

inline constexpr Tick saveLimitMs = 1000;

// Tells the adapter to keep its current configuration in flash; one attempt.
Task<Answer> saveToFlash(Exchange& exchange, ShowText show);

} // namespace qm240lx
