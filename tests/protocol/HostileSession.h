#pragma once

#include "link/Tick.h"
#include "settings/RecordedValues.h"
#include "support/WireCheck.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qm240lx::test {

// A seeded series of commands as a user would give them: detection first,
// then read-backs, uploads and saves in an order drawn from the seed, with the
// selections and the pauses between commands drawn from it too (now and then
// a group left unselected).
class HostileSession
{
public:
    HostileSession(std::uint32_t seed, int commandCount);

    const std::vector<CommandKind>& commands() const { return m_commands; }
    Tick pauseBefore(std::size_t index) const { return m_pauses[index]; }

    // The value byte the selections build for an upload opcode.
    BuiltByte build(std::uint8_t opcode) const;

private:
    RecordedValues m_recorded;
    std::optional<int> m_discoveryTime;
    std::vector<CommandKind> m_commands;
    std::vector<Tick> m_pauses;
};

} // namespace qm240lx::test
