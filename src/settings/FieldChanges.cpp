#include "settings/FieldChanges.h"

#include "settings/SettingElements.h"

namespace qm240lx {

ConfigBytes FieldChanges::applyTo(const ConfigBytes& current) const
{
    ConfigBytes bytes = withFieldsOnly(current);
    const SettingElements elements = elementsOf(*this);
    for (std::size_t index = 0; index < settingCount; ++index) {
        if (!elements[index])
            continue;
        const Setting& setting = settingTable[index];
        std::uint8_t& byte = bytes[setting.byte];
        const auto element = static_cast<std::size_t>(*elements[index]);
        byte = static_cast<std::uint8_t>((byte & ~setting.bits) | *setting.values[element].code);
    }
    return bytes;
}

ConfigBytes withFieldsOnly(const ConfigBytes& bytes)
{
    return {static_cast<std::uint8_t>(bytes.h & hByteFields),
            static_cast<std::uint8_t>(bytes.d & dByteFields),
            static_cast<std::uint8_t>(bytes.p & pByteFields)};
}

} // namespace qm240lx
