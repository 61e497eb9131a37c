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
    Provision,
};

} // namespace qm240lx
