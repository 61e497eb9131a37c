#pragma once

#include <array>
#include <string_view>

namespace qm240lx {

// The seven selection groups of the settings tabs, each an exclusive set of
// option buttons addressed by element index.
enum class Group
{
    Hspeed,    // baud rate, 8 elements
    CCTRL,     // ignore CTS: YES, NO
    FCTRL,     // ignore DSR: YES, NO
    OPT_Mode,  // Primary / Secondary, Secondary only
    Opt_Dis,   // discovery slots: One, Six
    OPT_DTime, // discovery time 1 to 6 s (element 5 hidden)
    Opt_PP,    // primary protocol (element 3, IrSocket, hidden)
};

inline constexpr std::array allGroups{Group::Hspeed,   Group::CCTRL,   Group::FCTRL,
                                      Group::OPT_Mode, Group::Opt_Dis, Group::OPT_DTime,
                                      Group::Opt_PP};

constexpr int elementCount(Group group)
{
    switch (group) {
    case Group::Hspeed:
        return 8;
    case Group::OPT_DTime:
        return 6;
    case Group::Opt_PP:
        return 4;
    default:
        return 2;
    }
}

// The name the group's option buttons share: "Hspeed", "Opt_PP", ...
constexpr std::string_view groupName(Group group)
{
    switch (group) {
    case Group::Hspeed:
        return "Hspeed";
    case Group::CCTRL:
        return "CCTRL";
    case Group::FCTRL:
        return "FCTRL";
    case Group::OPT_Mode:
        return "OPT_Mode";
    case Group::Opt_Dis:
        return "Opt_Dis";
    case Group::OPT_DTime:
        return "OPT_DTime";
    case Group::Opt_PP:
        return "Opt_PP";
    }
    return {};
}

} // namespace qm240lx
