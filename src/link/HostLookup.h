#pragma once

#include "async/Deadline.h"
#include "async/Task.h"

#include <variant>

#include <QHostAddress>
#include <QList>
#include <QString>

namespace qm240lx {

// Looks a host name up within a deadline, without blocking the thread. The
// resolver can take far longer than any deadline of ours when a name server
// does not answer (its own timeout, times its attempts); the lookup gives up
// at the deadline and leaves the request to Qt, which lets it go when the
// resolver is done with it.
class HostLookup
{
public:
    enum class Failure
    {
        Unknown,  // no such host, or no address for it
        TimedOut, // no answer within the deadline, or the deadline given up
    };
    using Result = std::variant<QList<QHostAddress>, Failure>;

    // The host's addresses, in the resolver's order; an address given as
    // text is taken as it is.
    static Task<Result> run(QString host, Deadline& deadline);
};

} // namespace qm240lx
