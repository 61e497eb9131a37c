#pragma once

#include <cstdio>
#include <cstdlib>

namespace qm240lx {

// Stops the program at a coroutine's misuse that would otherwise hand out a
// moved-from value or leave a suspended command never resumed: a bug to
// stop at, never an outcome to report.
[[noreturn]] inline void stopOnMisuse(const char* misuse)
{
    std::fprintf(stderr, "qm240lx: %s\n", misuse);
    std::abort();
}

} // namespace qm240lx
