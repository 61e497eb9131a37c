#pragma once

#include <variant>

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QString>

namespace qm240lx {

// Looks a host name up within a deadline. The resolver can take far longer
// than any deadline of ours when a name server does not answer (its own
// timeout, times its attempts); this lookup gives up when the deadline passes
// and lets the resolver finish on its own.
class HostLookup
{
public:
    enum class Failure
    {
        Unknown,  // no such host, or no address for it
        TimedOut, // no answer within the deadline
    };

    // The host's addresses, in the resolver's order; an address given as
    // text is taken as it is.
    static std::variant<QList<QHostAddress>, Failure> run(const QString& host,
                                                          const QDeadlineTimer& deadline);
};

} // namespace qm240lx
