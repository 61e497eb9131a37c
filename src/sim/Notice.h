#pragma once

#include <cstdio>

#include <QString>

namespace qm240lx::sim {

// A line for the person running the emulator, on standard error. It never
// looks like a trace line.
inline void notice(const QString& text)
{
    std::fprintf(stderr, "qm240lx-sim: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace qm240lx::sim
