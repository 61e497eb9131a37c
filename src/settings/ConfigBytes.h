#pragma once

#include "settings/RecordedValues.h"
#include "settings/SettingTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace qm240lx {

// The adapter's configuration: host link (H), infrared discovery (D) and
// primary protocol (P), one byte each.
struct ConfigBytes
{
    std::uint8_t h = 0;
    std::uint8_t d = 0;
    std::uint8_t p = 0;

    friend bool operator==(const ConfigBytes&, const ConfigBytes&) = default;

    std::uint8_t& operator[](ConfigByte byte)
    {
        return byte == ConfigByte::H ? h : byte == ConfigByte::D ? d : p;
    }
    std::uint8_t operator[](ConfigByte byte) const
    {
        return byte == ConfigByte::H ? h : byte == ConfigByte::D ? d : p;
    }
};

// A built byte, or the first group it needs that has nothing recorded yet.
struct BuiltByte
{
    std::optional<std::uint8_t> byte;
    std::optional<Group> missing;
};

// `discoveryTime` is the selected OPT_DTime element, if any: that group
// records nothing and is read by its selection.
BuiltByte buildByte(ConfigByte byte, const RecordedValues& recorded,
                    std::optional<int> discoveryTime = std::nullopt);
BuiltByte buildHByte(const RecordedValues& recorded);
BuiltByte buildDByte(const RecordedValues& recorded, std::optional<int> discoveryTime);
BuiltByte buildPByte(const RecordedValues& recorded);

// The element a byte read from the adapter selects in the group of `setting`.
int decodedElement(const Setting& setting, std::uint8_t byte);

// A byte read from the adapter, as the element to select in each group.
using Selection = std::pair<Group, int>;

// One selection a setting, in the order of settingTable.
std::array<Selection, settingCount> decodeConfiguration(const ConfigBytes& bytes);

} // namespace qm240lx
