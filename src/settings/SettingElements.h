#pragma once

#include "settings/ConfigFields.h"
#include "settings/FieldChanges.h"

#include <array>
#include <optional>

namespace qm240lx {

// Settings as the element of each group that stands for their value, one per
// setting in the order of settingTable; nullopt where a setting is left out.
using SettingElements = std::array<std::optional<int>, settingCount>;

SettingElements elementsOf(const ConfigFields& fields);
// Also nullopt for a value that is not one of its setting's values with a code.
SettingElements elementsOf(const FieldChanges& changes);

// Every element given.
ConfigFields fieldsFrom(const SettingElements& elements);
FieldChanges changesFrom(const SettingElements& elements);

} // namespace qm240lx
