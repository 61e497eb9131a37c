#include "settings/RecordedValues.h"

namespace qm240lx {

std::optional<int> RecordedValues::contribution(Group group, int element)
{
    const bool first = element == 0;
    switch (group) {
    case Group::Hspeed:
    case Group::Opt_PP:
        return element;
    case Group::CCTRL:
        return first ? 16 : 0;
    case Group::FCTRL:
        return first ? 8 : 0;
    case Group::OPT_Mode:
        return first ? 0 : 1;
    case Group::Opt_Dis:
        return first ? 2 : 0;
    case Group::OPT_DTime:
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace qm240lx
