#pragma once

namespace qm240lx {

// What the tool is asked to do.
enum class CliCommand
{
    Detect,
    Read,
    Set,
    Save,
    Scan,
    Apply,
};

} // namespace qm240lx
