#pragma once

#include "settings/Setting.h"

#include <array>
#include <string_view>

namespace qm240lx {

// Each setting once: its bits, its values and their codes, and its names in
// the window, on the command line, in JSON and profiles, and in the report.
// Everything else reads them from here (the window's form alone keeps its
// own captions and layout, and the emulator its own copy of the bytes).

// The selection groups of the settings tabs, each an exclusive set of
// option buttons addressed by element index; one group per setting, in the
// order of settingTable.
enum class Group
{
    Hspeed,    // baud rate
    CCTRL,     // ignore CTS
    FCTRL,     // ignore DSR
    OPT_Mode,  // discovery mode
    Opt_Dis,   // discovery slots
    OPT_DTime, // discovery time
    Opt_PP,    // primary protocol
};

// A datasheet: kept in columns by hand.
// clang-format off

// Each value: {window caption, name, code at its place in the byte, hidden in the window}.
inline constexpr SettingValue baudValues[]{
    {"1200",   "1200",   0x00},
    {"2400",   "2400",   0x01},
    {"4800",   "4800",   0x02},
    {"9600",   "9600",   0x03},
    {"19200",  "19200",  0x04},
    {"38400",  "38400",  0x05},
    {"57600",  "57600",  0x06},
    {"115200", "115200", 0x07},
};
inline constexpr SettingValue ignoreCtsValues[]{
    {"YES", "yes", 0x10},
    {"NO",  "no",  0x00},
};
inline constexpr SettingValue ignoreDsrValues[]{
    {"YES", "yes", 0x08},
    {"NO",  "no",  0x00},
};
inline constexpr SettingValue modeValues[]{
    {"Primary / Secondary", "primary-secondary", 0x00},
    {"Secondary only",      "secondary-only",    0x01},
};
inline constexpr SettingValue slotValues[]{
    {"One", "1", 0x02},
    {"Six", "6", 0x00},
};
// Not a plain multiple of the seconds: 4 s is 25 << 3, not 24 << 3.
inline constexpr SettingValue discoveryTimeValues[]{
    {"1", "1", 0x30},
    {"2", "2", 0x60},
    {"3", "3", 0x90},
    {"4", "4", 0xC8},
    {"5", "5", 0xF8},
    {"6", "6", std::nullopt, true}, // hidden
};
inline constexpr SettingValue protocolValues[]{
    {"IrComm 9-wire",  "ircomm",   0x00},
    {"IrLPT",          "irlpt",    0x01},
    {"OBEX Transport", "obex",     0x02},
    {"IrSocket",       "irsocket", 0x03, true}, // hidden
};

inline constexpr std::array settingTable{
    Setting{.group = Group::Hspeed,    .groupName = "Hspeed",    .frame = "RS-232 Baudrate (bps)",
            .byte = ConfigByte::H, .bits = 0x07, .values = baudValues, .kind = ValueKind::Number,
            .key = "baud", .option = "baud", .valueName = "RATE",
            .label = "Host baud rate", .shown = "%1 bps"},
    Setting{.group = Group::CCTRL,     .groupName = "CCTRL",     .frame = "Ignore CTS",
            .byte = ConfigByte::H, .bits = 0x10, .values = ignoreCtsValues, .kind = ValueKind::Flag,
            .key = "ignore_cts", .option = "ignore-cts", .valueName = "yes|no",
            .label = "Ignore CTS", .shown = "%1"},
    Setting{.group = Group::FCTRL,     .groupName = "FCTRL",     .frame = "Ignore DSR",
            .byte = ConfigByte::H, .bits = 0x08, .values = ignoreDsrValues, .kind = ValueKind::Flag,
            .key = "ignore_dsr", .option = "ignore-dsr", .valueName = "yes|no",
            .label = "Ignore DSR", .shown = "%1"},
    Setting{.group = Group::OPT_Mode,  .groupName = "OPT_Mode",  .frame = "Mode",
            .byte = ConfigByte::D, .bits = 0x01, .values = modeValues, .kind = ValueKind::Word,
            .key = "mode", .option = "mode", .valueName = "MODE",
            .label = "Mode", .shown = "%1 (%2)"},
    Setting{.group = Group::Opt_Dis,   .groupName = "Opt_Dis",   .frame = "Discovery Slot",
            .byte = ConfigByte::D, .bits = 0x02, .values = slotValues, .kind = ValueKind::Number,
            .key = "slots", .option = "slots", .valueName = "N",
            .label = "Discovery slots", .shown = "%1",
            .askedFirst = true},
    Setting{.group = Group::OPT_DTime, .groupName = "OPT_DTime", .frame = "Discovery Time(Sec)",
            .byte = ConfigByte::D, .bits = 0xF8, .values = discoveryTimeValues,
            .kind = ValueKind::Number,
            .key = "discovery_time_s", .option = "discovery-time", .valueName = "SECONDS",
            .label = "Discovery time", .shown = "%1 s",
            .fallback = 2, .recorded = false},
    Setting{.group = Group::Opt_PP,    .groupName = "Opt_PP",    .frame = "Primary Protocol",
            .byte = ConfigByte::P, .bits = 0x03, .values = protocolValues, .kind = ValueKind::Word,
            .key = "protocol", .option = "protocol", .valueName = "PROTOCOL",
            .label = "Primary protocol", .shown = "%1 (%2)"},
};

// clang-format on

inline constexpr std::size_t settingCount = settingTable.size();

constexpr const Setting& settingOf(Group group)
{
    return settingTable[static_cast<std::size_t>(group)];
}

constexpr bool eachGroupHasItsRow()
{
    for (std::size_t index = 0; index < settingCount; ++index) {
        if (static_cast<std::size_t>(settingTable[index].group) != index)
            return false;
    }
    return true;
}
static_assert(eachGroupHasItsRow(), "settingTable lists the groups in their order");

constexpr bool eachCodeFitsItsBits()
{
    for (const Setting& setting : settingTable) {
        for (const SettingValue& value : setting.values) {
            if (value.code && (*value.code & ~setting.bits) != 0)
                return false;
        }
    }
    return true;
}
static_assert(eachCodeFitsItsBits(), "a value's code lies within its setting's bits");

inline constexpr std::array<Group, settingCount> allGroups = [] {
    std::array<Group, settingCount> groups{};
    for (std::size_t index = 0; index < settingCount; ++index)
        groups[index] = settingTable[index].group;
    return groups;
}();

constexpr int elementCount(Group group)
{
    return static_cast<int>(settingOf(group).values.size());
}

// The name the group's option buttons share: "Hspeed", "Opt_PP", ...
constexpr std::string_view groupName(Group group)
{
    return settingOf(group).groupName;
}

// The bits of `byte` that some setting covers; every other bit is sent as 0.
constexpr std::uint8_t fieldsOf(ConfigByte byte)
{
    std::uint8_t fields = 0;
    for (const Setting& setting : settingTable) {
        if (setting.byte == byte)
            fields |= setting.bits;
    }
    return fields;
}

inline constexpr std::uint8_t hByteFields = fieldsOf(ConfigByte::H);
inline constexpr std::uint8_t dByteFields = fieldsOf(ConfigByte::D);
inline constexpr std::uint8_t pByteFields = fieldsOf(ConfigByte::P);

} // namespace qm240lx
