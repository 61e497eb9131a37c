#include "settings/ConfigBytes.h"

namespace qm240lx {
namespace {

// The code sent for `element` of `setting`: its own, or the fallback's when
// it has none (nothing selected, or a hidden element without a code).
std::uint8_t codeOf(const Setting& setting, std::optional<int> element)
{
    const auto values = setting.values;
    const bool known = element && *element >= 0 && *element < static_cast<int>(values.size()) &&
                       values[static_cast<std::size_t>(*element)].code;
    return *values[static_cast<std::size_t>(known ? *element : setting.fallback)].code;
}

} // namespace

// ORs the byte's recorded values, or names a group still without one: one
// asked first, else the first in the table.
BuiltByte buildByte(ConfigByte byte, const RecordedValues& recorded,
                    std::optional<int> discoveryTime)
{
    int joined = 0;
    std::optional<Group> missing;
    for (const Setting& setting : settingTable) {
        if (setting.byte != byte)
            continue;
        if (!setting.recorded) {
            joined |= codeOf(setting, discoveryTime);
            continue;
        }
        const std::optional<int> value = recorded.value(setting.group);
        if (value)
            joined |= *value;
        else if (!missing || setting.askedFirst)
            missing = setting.group;
    }
    if (missing)
        return {std::nullopt, missing};
    return {static_cast<std::uint8_t>(joined & fieldsOf(byte)), std::nullopt};
}

BuiltByte buildHByte(const RecordedValues& recorded)
{
    return buildByte(ConfigByte::H, recorded);
}

BuiltByte buildDByte(const RecordedValues& recorded, std::optional<int> discoveryTime)
{
    return buildByte(ConfigByte::D, recorded, discoveryTime);
}

BuiltByte buildPByte(const RecordedValues& recorded)
{
    return buildByte(ConfigByte::P, recorded);
}

int decodedElement(const Setting& setting, std::uint8_t byte)
{
    const std::uint8_t code = byte & setting.bits;
    for (std::size_t element = 0; element < setting.values.size(); ++element) {
        if (setting.values[element].code == code)
            return static_cast<int>(element);
    }
    return setting.fallback;
}

std::array<Selection, settingCount> decodeConfiguration(const ConfigBytes& bytes)
{
    std::array<Selection, settingCount> selections{};
    for (std::size_t index = 0; index < settingCount; ++index) {
        const Setting& setting = settingTable[index];
        selections[index] = {setting.group, decodedElement(setting, bytes[setting.byte])};
    }
    return selections;
}

} // namespace qm240lx
