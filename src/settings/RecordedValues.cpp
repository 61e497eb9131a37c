#include "settings/RecordedValues.h"

#include "settings/SettingTable.h"

namespace qm240lx {

std::optional<int> RecordedValues::contribution(Group group, int element)
{
    const Setting& setting = settingOf(group);
    if (!setting.recorded || element < 0 || element >= elementCount(group))
        return std::nullopt;
    return setting.values[static_cast<std::size_t>(element)].code;
}

} // namespace qm240lx
