#include "settings/ConfigBytes.h"

#include <map>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// Records the selections as the window's handlers would, then builds bytes.
struct Selected
{
    RecordedValues recorded;
    std::optional<int> discoveryTime;

    void select(Group group, int element)
    {
        recorded.select(group, element);
        if (group == Group::OPT_DTime)
            discoveryTime = element;
    }
    template <std::size_t N> void select(const std::array<Selection, N>& selections)
    {
        for (const auto& [group, element] : selections)
            select(group, element);
    }
};

// Written from the byte layout by bit arithmetic of its own, not by the code under test.
int expectedDiscoveryTime(int dByte)
{
    static const std::map<int, int> byTimeField{{6, 0}, {12, 1}, {18, 2}, {25, 3}, {31, 4}};
    const auto found = byTimeField.find(dByte >> 3);
    return found == byTimeField.end() ? 2 : found->second;
}

TEST(ConfigBytes, DecodesEveryByteValue)
{
    for (int value = 0; value < 256; ++value) {
        SCOPED_TRACE(value);
        const auto byte = static_cast<std::uint8_t>(value);
        const auto h = decodeHByte(byte);
        EXPECT_EQ(h[0], Selection(Group::Hspeed, value % 8));
        EXPECT_EQ(h[1], Selection(Group::CCTRL, (value / 16) % 2 == 1 ? 0 : 1));
        EXPECT_EQ(h[2], Selection(Group::FCTRL, (value / 8) % 2 == 1 ? 0 : 1));

        const auto d = decodeDByte(byte);
        EXPECT_EQ(d[0], Selection(Group::OPT_Mode, value % 2));
        EXPECT_EQ(d[1], Selection(Group::Opt_Dis, (value / 2) % 2 == 1 ? 0 : 1));
        EXPECT_EQ(d[2], Selection(Group::OPT_DTime, expectedDiscoveryTime(value)));

        EXPECT_EQ(decodePByte(byte)[0], Selection(Group::Opt_PP, value % 4));
    }
}

TEST(ConfigBytes, BuildingAfterDecodingDropsUncoveredBits)
{
    for (int value = 0; value < 256; ++value) {
        SCOPED_TRACE(value);
        const auto byte = static_cast<std::uint8_t>(value);
        Selected selected;
        selected.select(decodeConfiguration({byte, byte, byte}));

        EXPECT_EQ(buildHByte(selected.recorded).byte, value % 32);
        const int timeCodes[] = {0x30, 0x60, 0x90, 0xC8, 0xF8};
        EXPECT_EQ(buildDByte(selected.recorded, selected.discoveryTime).byte,
                  timeCodes[expectedDiscoveryTime(value)] | (value % 4));
        EXPECT_EQ(buildPByte(selected.recorded).byte, value % 4);
    }
}

TEST(ConfigBytes, BuildsTheDocumentedExamples)
{
    struct Case
    {
        const char* name;
        std::vector<Selection> selections;
        std::uint8_t h, d, p;
    };
    using G = Group;
    const Case cases[] = {
        {"9600, CTS yes, DSR no; secondary, one, 2 s; OBEX",
         {{G::Hspeed, 3},
          {G::CCTRL, 0},
          {G::FCTRL, 1},
          {G::OPT_Mode, 1},
          {G::Opt_Dis, 0},
          {G::OPT_DTime, 1},
          {G::Opt_PP, 2}},
         0x13,
         0x63,
         0x02},
        {"115200 both yes; primary, six, 5 s; IrLPT",
         {{G::Hspeed, 7},
          {G::CCTRL, 0},
          {G::FCTRL, 0},
          {G::OPT_Mode, 0},
          {G::Opt_Dis, 1},
          {G::OPT_DTime, 4},
          {G::Opt_PP, 1}},
         0x1F,
         0xF8,
         0x01},
        {"1200 both no; no time selected; IrComm",
         {{G::Hspeed, 0},
          {G::CCTRL, 1},
          {G::FCTRL, 1},
          {G::OPT_Mode, 1},
          {G::Opt_Dis, 0},
          {G::Opt_PP, 0}},
         0x00,
         0x93,
         0x00},
        {"57600, both no; hidden time 6 counts as 3; hidden IrSocket",
         {{G::Hspeed, 6},
          {G::CCTRL, 1},
          {G::FCTRL, 1},
          {G::OPT_Mode, 0},
          {G::Opt_Dis, 1},
          {G::OPT_DTime, 5},
          {G::Opt_PP, 3}},
         0x06,
         0x90,
         0x03},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Selected selected;
        for (const auto& [group, element] : c.selections)
            selected.select(group, element);
        EXPECT_EQ(buildHByte(selected.recorded).byte, c.h);
        EXPECT_EQ(buildDByte(selected.recorded, selected.discoveryTime).byte, c.d);
        EXPECT_EQ(buildPByte(selected.recorded).byte, c.p);
    }
}

TEST(ConfigBytes, NamesTheGroupThatHasNothingRecorded)
{
    Selected selected;
    EXPECT_EQ(buildHByte(selected.recorded).missing, Group::Hspeed);
    EXPECT_EQ(buildDByte(selected.recorded, 1).missing, Group::Opt_Dis);
    EXPECT_EQ(buildPByte(selected.recorded).missing, Group::Opt_PP);

    selected.select(Group::Hspeed, 5);
    selected.select(Group::FCTRL, 0);
    const BuiltByte h = buildHByte(selected.recorded);
    EXPECT_FALSE(h.byte.has_value());
    EXPECT_EQ(h.missing, Group::CCTRL);

    selected.select(Group::CCTRL, 1);
    EXPECT_EQ(buildHByte(selected.recorded).byte, 0x0D);
    EXPECT_FALSE(buildHByte(selected.recorded).missing.has_value());
}

TEST(RecordedValues, FollowsEverySelection)
{
    struct Case
    {
        Group group;
        int element;
        std::optional<int> recorded;
    };
    const Case cases[] = {
        {Group::Hspeed, 7, 7},   {Group::Hspeed, 0, 0},   {Group::CCTRL, 0, 16},
        {Group::CCTRL, 1, 0},    {Group::FCTRL, 0, 8},    {Group::FCTRL, 1, 0},
        {Group::OPT_Mode, 0, 0}, {Group::OPT_Mode, 1, 1}, {Group::Opt_Dis, 0, 2},
        {Group::Opt_Dis, 1, 0},  {Group::Opt_PP, 3, 3},   {Group::OPT_DTime, 4, std::nullopt},
    };
    RecordedValues recorded;
    for (Group group : allGroups)
        EXPECT_FALSE(recorded.value(group).has_value());
    for (const Case& c : cases) {
        recorded.select(c.group, c.element);
        EXPECT_EQ(recorded.value(c.group), c.recorded)
            << groupName(c.group) << " element " << c.element;
    }
}

} // namespace
} // namespace qm240lx
