#include "cli/OpenFileLimit.h"

#include <sys/resource.h>

namespace qm240lx {
namespace {

// The standard streams, the signal pipe, Qt's own descriptors, a lock file
// being written, a profile being read.
constexpr rlim_t programReserve = 64;

} // namespace

std::optional<CliExit> makeRoomForPorts(qsizetype ports)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return std::nullopt;
    const rlim_t needed = static_cast<rlim_t>(ports) + programReserve;
    if (limit.rlim_cur == RLIM_INFINITY || needed <= limit.rlim_cur)
        return std::nullopt;
    if (limit.rlim_max != RLIM_INFINITY && needed > limit.rlim_max) {
        return CliExit{ExitCode::OsError,
                       QStringLiteral("%1 ports need %2 open files, but the limit is %3 (ulimit "
                                      "-Hn); raise it or name fewer ports")
                           .arg(ports)
                           .arg(needed)
                           .arg(limit.rlim_max),
                       FailureKind::TooManyPorts};
    }
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    return std::nullopt;
}

} // namespace qm240lx
