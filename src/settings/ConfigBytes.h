#pragma once

#include "settings/Group.h"
#include "settings/RecordedValues.h"

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
};

// Bits that some field covers; every other bit is sent as 0.
inline constexpr std::uint8_t hByteFields = 0x1F;
inline constexpr std::uint8_t dByteFields = 0xFB;
inline constexpr std::uint8_t pByteFields = 0x03;

// Discovery-time codes (bits 3 to 7 of the D-Byte) of OPT_DTime elements 0 to 4.
inline constexpr std::array<std::uint8_t, 5> discoveryTimeCodes{0x30, 0x60, 0x90, 0xC8, 0xF8};
inline constexpr int fallbackDiscoveryTime = 2; // element "3", for unknown codes

// A built byte, or the first group it needs that has nothing recorded yet.
struct BuiltByte
{
    std::optional<std::uint8_t> byte;
    std::optional<Group> missing;
};

BuiltByte buildHByte(const RecordedValues& recorded);
// `discoveryTime` is the selected OPT_DTime element, if any.
BuiltByte buildDByte(const RecordedValues& recorded, std::optional<int> discoveryTime);
BuiltByte buildPByte(const RecordedValues& recorded);

// A byte read from the adapter, as the element to select in each group.
using Selection = std::pair<Group, int>;
std::array<Selection, 3> decodeHByte(std::uint8_t byte);
std::array<Selection, 3> decodeDByte(std::uint8_t byte);
std::array<Selection, 1> decodePByte(std::uint8_t byte);

// All seven selections, in the order Hspeed, CCTRL, FCTRL, OPT_Mode, Opt_Dis,
// OPT_DTime, Opt_PP.
std::array<Selection, 7> decodeConfiguration(const ConfigBytes& bytes);

} // namespace qm240lx
