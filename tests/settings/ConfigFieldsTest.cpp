#include "settings/ConfigFields.h"

#include "settings/FieldChanges.h"

#include <gtest/gtest.h>

// The changes name only the fields they change.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace qm240lx {
namespace {

using Mode = DiscoveryMode;
using Protocol = PrimaryProtocol;

TEST(ConfigFields, ReadsTheBytesAsTheWindowShowsThem)
{
    const std::pair<ConfigBytes, ConfigFields> cases[] = {
        {{0x1F, 0xF9, 0x02}, {115200, true, true, Mode::SecondaryOnly, 6, 5, Protocol::Obex}},
        {{0x00, 0x00, 0x00}, {1200, false, false, Mode::PrimarySecondary, 6, 3, Protocol::IrComm}},
        {{0x13, 0x63, 0x01}, {9600, true, false, Mode::SecondaryOnly, 1, 2, Protocol::IrLpt}},
        {{0x0E, 0xC8, 0x03},
         {57600, false, true, Mode::PrimarySecondary, 6, 4, Protocol::IrSocket}},
    };
    for (const auto& [bytes, fields] : cases)
        EXPECT_EQ(ConfigFields::decode(bytes), fields) << int(bytes.h) << ' ' << int(bytes.d);
}

TEST(ConfigFields, NamesReadBackInAnyCase)
{
    for (const Protocol protocol :
         {Protocol::IrComm, Protocol::IrLpt, Protocol::Obex, Protocol::IrSocket})
        EXPECT_EQ(parseProtocolName(protocolName(protocol).toUpper()), protocol);
    for (const Mode mode : {Mode::PrimarySecondary, Mode::SecondaryOnly})
        EXPECT_EQ(parseModeName(modeName(mode).toUpper()), mode);
    EXPECT_EQ(parseProtocolName("irda"), std::nullopt);
    EXPECT_EQ(parseModeName("primary"), std::nullopt);
}

TEST(FieldChanges, ReplaceOnlyTheNamedFieldsAndClearUncoveredBits)
{
    const struct
    {
        const char* name;
        ConfigBytes current;
        FieldChanges changes;
        ConfigBytes expected;
    } cases[] = {
        {"nothing named still cleans", {0xE3, 0x96, 0xFE}, {}, {0x03, 0x92, 0x02}},
        {"baud keeps the handshake", {0x1B, 0x92, 0x00}, {.baudRate = 57600}, {0x1E, 0x92, 0x00}},
        {"CTS on, DSR off",
         {0x0B, 0x92, 0},
         {.ignoreCts = true, .ignoreDsr = false},
         {0x13, 0x92, 0}},
        {"secondary, one slot, 2 s",
         {0x03, 0x90, 0x00},
         {.mode = Mode::SecondaryOnly, .discoverySlots = 1, .discoveryTimeS = 2},
         {0x03, 0x63, 0x00}},
        {"primary, six slots, 5 s",
         {0x03, 0x63, 0x00},
         {.mode = Mode::PrimarySecondary, .discoverySlots = 6, .discoveryTimeS = 5},
         {0x03, 0xF8, 0x00}},
        {"an unknown time code stays when no time is named",
         {0x03, 0x40, 0x00},
         {.mode = Mode::SecondaryOnly},
         {0x03, 0x41, 0x00}},
        {"values out of range change nothing",
         {0x03, 0x92, 0x00},
         {.baudRate = 14400, .discoverySlots = 2, .discoveryTimeS = 6},
         {0x03, 0x92, 0x00}},
        {"the hidden protocol", {0x03, 0x92, 0xFC}, {.protocol = Protocol::IrSocket}, {3, 0x92, 3}},
    };
    for (const auto& c : cases) {
        const ConfigBytes result = c.changes.applyTo(c.current);
        EXPECT_EQ((std::array{result.h, result.d, result.p}),
                  (std::array{c.expected.h, c.expected.d, c.expected.p}))
            << c.name;
    }
}

} // namespace
} // namespace qm240lx
