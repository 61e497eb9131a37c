#pragma once

#include "settings/SettingTable.h"

#include <array>
#include <optional>

namespace qm240lx {

// Each group's contribution to its configuration byte, already at its bit
// position, as recorded by the group's last selection. Nothing is recorded
// until the group's first selection; OPT_DTime records nothing at all.
class RecordedValues
{
public:
    std::optional<int> value(Group group) const { return m_values[index(group)]; }

    // Records what selecting `element` of `group` contributes.
    void select(Group group, int element) { m_values[index(group)] = contribution(group, element); }

    // What selecting an element contributes: the code of its value, already
    // at its place in the byte; nothing for a group that records nothing.
    static std::optional<int> contribution(Group group, int element);

    friend bool operator==(const RecordedValues&, const RecordedValues&) = default;

private:
    static constexpr std::size_t index(Group group) { return static_cast<std::size_t>(group); }

    std::array<std::optional<int>, settingCount> m_values{};
};

} // namespace qm240lx
