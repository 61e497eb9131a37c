#include "settings/ConfigBytes.h"

#include <map>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// The element each group shows for `value` read as all three bytes, worked out
// from the byte layout by arithmetic of its own, not by the code under test.
std::array<Selection, 7> expectedSelections(int value)
{
    static const std::map<int, int> timeByField{{6, 0}, {12, 1}, {18, 2}, {25, 3}, {31, 4}};
    const auto time = timeByField.find(value >> 3);
    const auto yesWhenSet = [value](int bit) { return (value >> bit) % 2 == 1 ? 0 : 1; };
    return {{{Group::Hspeed, value % 8},
             {Group::CCTRL, yesWhenSet(4)},
             {Group::FCTRL, yesWhenSet(3)},
             {Group::OPT_Mode, value % 2},
             {Group::Opt_Dis, yesWhenSet(1)},
             {Group::OPT_DTime, time == timeByField.end() ? 2 : time->second},
             {Group::Opt_PP, value % 4}}};
}

// Built back from its selections, a byte loses only the bits no field covers.
TEST(ConfigBytes, EveryByteValueDecodesAndBuildsBackWithoutUncoveredBits)
{
    const int timeCodes[] = {0x30, 0x60, 0x90, 0xC8, 0xF8};
    for (int value = 0; value < 256; ++value) {
        SCOPED_TRACE(value);
        const auto byte = static_cast<std::uint8_t>(value);
        const std::array<Selection, 7> expected = expectedSelections(value);
        EXPECT_EQ(decodeConfiguration({byte, byte, byte}), expected);
        RecordedValues recorded;
        for (const auto& [group, element] : expected)
            recorded.select(group, element);
        const int time = expected[5].second;
        EXPECT_EQ(buildHByte(recorded).byte, value % 32);
        EXPECT_EQ(buildDByte(recorded, time).byte, timeCodes[time] | (value % 4));
        EXPECT_EQ(buildPByte(recorded).byte, value % 4);
    }
}

// Nothing is recorded before a group's first selection; no discovery time, or
// the hidden "6", is sent as "3".
TEST(ConfigBytes, NamesTheFirstGroupWithoutASelectionAndFallsBackToThreeSeconds)
{
    RecordedValues recorded;
    EXPECT_EQ(buildHByte(recorded).missing, Group::Hspeed);
    EXPECT_EQ(buildDByte(recorded, 1).missing, Group::Opt_Dis);
    EXPECT_EQ(buildPByte(recorded).missing, Group::Opt_PP);
    recorded.select(Group::Hspeed, 5);
    recorded.select(Group::FCTRL, 0);
    const BuiltByte h = buildHByte(recorded);
    EXPECT_EQ(h.missing, Group::CCTRL);
    EXPECT_FALSE(h.byte.has_value());

    recorded.select(Group::OPT_Mode, 1);
    recorded.select(Group::Opt_Dis, 0);
    for (const std::optional<int> time : {std::optional<int>(), std::optional(5)}) {
        const BuiltByte d = buildDByte(recorded, time);
        EXPECT_EQ(d.byte, 0x93);
        EXPECT_FALSE(d.missing.has_value());
    }
}

} // namespace
} // namespace qm240lx
