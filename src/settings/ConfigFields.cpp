#include "settings/ConfigFields.h"

#include "settings/SettingElements.h"

namespace qm240lx {

ConfigFields ConfigFields::decode(const ConfigBytes& bytes)
{
    SettingElements elements;
    for (std::size_t index = 0; index < settingCount; ++index) {
        const Setting& setting = settingTable[index];
        elements[index] = decodedElement(setting, bytes[setting.byte]);
    }
    return fieldsFrom(elements);
}

} // namespace qm240lx
