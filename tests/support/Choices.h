#pragma once

#include "settings/SettingTable.h"
#include "sim/Configuration.h"

#include <cstdint>
#include <map>
#include <vector>

namespace qm240lx::test {

// What the user chose: the element last picked in each group. A value byte
// that reaches the adapter is chosen when each of its fields holds what the
// adapter held, what it reported holding in any of its answers to a
// read-back (a lying adapter's made-up bytes among them), or the user's pick
// for it, and no bit outside them.
class Choices
{
public:
    void choose(Group group, int element) { m_elements.insert_or_assign(group, element); }
    std::uint8_t codeOf(Group group, int element) const;

    bool allows(std::uint8_t opcode, std::uint8_t value, const sim::Configuration& held,
                const std::vector<sim::Configuration>& reported) const;

private:
    std::map<Group, int> m_elements;
};

} // namespace qm240lx::test
