#pragma once

#include <cstdio>

namespace qm240lx::fuzz {

// Stops the fuzzer on an input that breaks an invariant, saying which.
inline void require(bool holds, const char* why)
{
    if (holds)
        return;
    std::fprintf(stderr, "broken: %s\n", why);
    __builtin_trap();
}

} // namespace qm240lx::fuzz
