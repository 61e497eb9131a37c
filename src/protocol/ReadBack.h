#pragma once

#include "protocol/Exchange.h"
#include "protocol/ShowText.h"
#include "settings/ConfigBytes.h"

#include <optional>

namespace qm240lx {

struct ReadBack
{
    enum class End
    {
        Read,
        Timeout,
        PortFailed,
        Aborted,
    };

    End end = End::PortFailed;
    std::optional<ConfigBytes> bytes; // set exactly when end is Read
};

inline constexpr Tick readBackLimitMs = 3000;

// Asks the adapter for its three configuration bytes. On success it shows
// nothing, so the caller's text stays; a timeout shows "ERROR:TIME OUT!".
Task<ReadBack> readConfiguration(Exchange& exchange, ShowText show);

} // namespace qm240lx
