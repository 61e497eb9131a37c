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
        KeepsSending, // the line never fell quiet: nothing was written
        Suspect,      // more bytes followed the reply, in each attempt
        PortFailed,
        Aborted,
    };

    End end = End::PortFailed;
    std::optional<ConfigBytes> bytes; // set exactly when end is Read
};

inline constexpr Tick readBackLimitMs = 3000;
inline constexpr int readBackAttempts = 2;

// Asks the adapter for its three configuration bytes, each time after a
// quiet line. A reply followed by more bytes may hold bytes that were not its
// own, so it is asked for again, and never taken. On success it shows
// nothing, so the caller's text stays; a timeout shows "ERROR:TIME OUT!".
Task<ReadBack> readConfiguration(Exchange& exchange, ShowText show);

} // namespace qm240lx
