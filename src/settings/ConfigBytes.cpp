#include "settings/ConfigBytes.h"

#include <initializer_list>

namespace qm240lx {
namespace {

// ORs the recorded values of `groups`, or names the first one still empty.
BuiltByte join(const RecordedValues& recorded, std::initializer_list<Group> groups, int extra,
               std::uint8_t fields)
{
    int joined = extra;
    for (Group group : groups) {
        const auto value = recorded.value(group);
        if (!value)
            return {std::nullopt, group};
        joined |= *value;
    }
    return {static_cast<std::uint8_t>(joined & fields), std::nullopt};
}

int discoveryTimeElement(std::uint8_t dByte)
{
    const std::uint8_t code = dByte & 0xF8;
    for (std::size_t element = 0; element < discoveryTimeCodes.size(); ++element) {
        if (discoveryTimeCodes[element] == code)
            return static_cast<int>(element);
    }
    return fallbackDiscoveryTime;
}

} // namespace

BuiltByte buildHByte(const RecordedValues& recorded)
{
    return join(recorded, {Group::Hspeed, Group::CCTRL, Group::FCTRL}, 0, hByteFields);
}

BuiltByte buildDByte(const RecordedValues& recorded, std::optional<int> discoveryTime)
{
    const bool known = discoveryTime && *discoveryTime >= 0 &&
                       *discoveryTime < static_cast<int>(discoveryTimeCodes.size());
    const int code = discoveryTimeCodes[known ? *discoveryTime : fallbackDiscoveryTime];
    return join(recorded, {Group::Opt_Dis, Group::OPT_Mode}, code, dByteFields);
}

BuiltByte buildPByte(const RecordedValues& recorded)
{
    return join(recorded, {Group::Opt_PP}, 0, pByteFields);
}

std::array<Selection, 3> decodeHByte(std::uint8_t byte)
{
    return {{{Group::Hspeed, byte & 0x07},
             {Group::CCTRL, (byte & 0x10) ? 0 : 1},
             {Group::FCTRL, (byte & 0x08) ? 0 : 1}}};
}

std::array<Selection, 3> decodeDByte(std::uint8_t byte)
{
    return {{{Group::OPT_Mode, (byte & 0x01) ? 1 : 0},
             {Group::Opt_Dis, (byte & 0x02) ? 0 : 1},
             {Group::OPT_DTime, discoveryTimeElement(byte)}}};
}

std::array<Selection, 1> decodePByte(std::uint8_t byte)
{
    return {{{Group::Opt_PP, byte & 0x03}}};
}

std::array<Selection, 7> decodeConfiguration(const ConfigBytes& bytes)
{
    const auto h = decodeHByte(bytes.h);
    const auto d = decodeDByte(bytes.d);
    const auto p = decodePByte(bytes.p);
    return {h[0], h[1], h[2], d[0], d[1], d[2], p[0]};
}

} // namespace qm240lx
