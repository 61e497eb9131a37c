#include "settings/ConfigFields.h"

#include "settings/FieldChanges.h"

#include <ostream>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

struct DecodeCase
{
    const char* name;
    ConfigBytes bytes;
    ConfigFields fields;
};

void PrintTo(const DecodeCase& c, std::ostream* out)
{
    *out << c.name;
}

class DecodeFields : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(DecodeFields, ReadsBytesAsTheWindowShowsThem)
{
    EXPECT_EQ(ConfigFields::decode(GetParam().bytes), GetParam().fields);
}

using Mode = DiscoveryMode;
using Protocol = PrimaryProtocol;

INSTANTIATE_TEST_SUITE_P(
    Bytes, DecodeFields,
    testing::Values(
        DecodeCase{"allSet",
                   {0x1F, 0xF9, 0x02},
                   {115200, true, true, Mode::SecondaryOnly, 6, 5, Protocol::Obex}},
        DecodeCase{"allClear",
                   {0x00, 0x00, 0x00},
                   {1200, false, false, Mode::PrimarySecondary, 6, 3, Protocol::IrComm}},
        DecodeCase{"emulatorDefault",
                   {0x03, 0x92, 0x00},
                   {9600, false, false, Mode::PrimarySecondary, 1, 3, Protocol::IrComm}},
        DecodeCase{"ctsOnly",
                   {0x13, 0x63, 0x01},
                   {9600, true, false, Mode::SecondaryOnly, 1, 2, Protocol::IrLpt}},
        DecodeCase{"dsrOnly",
                   {0x0E, 0xC8, 0x03},
                   {57600, false, true, Mode::PrimarySecondary, 6, 4, Protocol::IrSocket}},
        DecodeCase{"strayBitsIgnored",
                   {0xE4, 0x36, 0xFE},
                   {19200, false, false, Mode::PrimarySecondary, 1, 1, Protocol::Obex}},
        DecodeCase{"unknownTimeCodeReadsAsThree",
                   {0x05, 0xA0, 0x00},
                   {38400, false, false, Mode::PrimarySecondary, 6, 3, Protocol::IrComm}},
        DecodeCase{"timeCodeOfFourIsNotTimesSix",
                   {0x01, 0xC0, 0x00},
                   {2400, false, false, Mode::PrimarySecondary, 6, 3, Protocol::IrComm}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigFields, EveryBaudRateHasTheCodeOfItsPlaceInTheTable)
{
    const int expected[][2] = {{1200, 0},  {2400, 1},  {4800, 2},  {9600, 3},
                               {19200, 4}, {38400, 5}, {57600, 6}, {115200, 7}};
    for (const auto& [rate, code] : expected) {
        EXPECT_EQ(baudCode(rate), code) << rate;
        EXPECT_EQ(ConfigFields::decode({static_cast<std::uint8_t>(code), 0, 0}).baudRate, rate);
    }
    for (int rate : {0, 300, 14400, 230400, -9600})
        EXPECT_EQ(baudCode(rate), std::nullopt) << rate;
}

TEST(ConfigFields, NamesRoundTripAndUnknownNamesAreRefused)
{
    for (Mode mode : {Mode::PrimarySecondary, Mode::SecondaryOnly})
        EXPECT_EQ(parseModeName(modeName(mode)), mode);
    for (Protocol protocol :
         {Protocol::IrComm, Protocol::IrLpt, Protocol::Obex, Protocol::IrSocket})
        EXPECT_EQ(parseProtocolName(protocolName(protocol)), protocol);

    EXPECT_EQ(modeName(Mode::SecondaryOnly), QStringLiteral("secondary-only"));
    EXPECT_EQ(protocolName(Protocol::Obex), QStringLiteral("obex"));
    EXPECT_EQ(protocolCaption(Protocol::IrComm), QStringLiteral("IrComm 9-wire"));
    EXPECT_EQ(modeCaption(Mode::PrimarySecondary), QStringLiteral("Primary / Secondary"));
    EXPECT_EQ(parseProtocolName(QStringLiteral("OBEX")), Protocol::Obex);
    EXPECT_EQ(parseProtocolName(QStringLiteral("irda")), std::nullopt);
    EXPECT_EQ(parseModeName(QStringLiteral("primary")), std::nullopt);
    EXPECT_EQ(parseModeName(QString()), std::nullopt);
}

struct ChangeCase
{
    const char* name;
    ConfigBytes current;
    FieldChanges changes;
    ConfigBytes expected;
};

void PrintTo(const ChangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class ApplyChanges : public testing::TestWithParam<ChangeCase>
{
};

TEST_P(ApplyChanges, ReplacesOnlyTheNamedFieldsAndClearsUncoveredBits)
{
    const ChangeCase& c = GetParam();
    const ConfigBytes result = c.changes.applyTo(c.current);
    EXPECT_EQ(result.h, c.expected.h);
    EXPECT_EQ(result.d, c.expected.d);
    EXPECT_EQ(result.p, c.expected.p);
    EXPECT_EQ(result.h & ~hByteFields, 0);
    EXPECT_EQ(result.d & ~dByteFields, 0);
    EXPECT_EQ(result.p & ~pByteFields, 0);
}

FieldChanges baud(int rate)
{
    FieldChanges changes;
    changes.baudRate = rate;
    return changes;
}

FieldChanges discovery(std::optional<Mode> mode, std::optional<int> slots, std::optional<int> time)
{
    FieldChanges changes;
    changes.mode = mode;
    changes.discoverySlots = slots;
    changes.discoveryTimeS = time;
    return changes;
}

FieldChanges handshake(std::optional<bool> cts, std::optional<bool> dsr)
{
    FieldChanges changes;
    changes.ignoreCts = cts;
    changes.ignoreDsr = dsr;
    return changes;
}

FieldChanges protocol(Protocol value)
{
    FieldChanges changes;
    changes.protocol = value;
    return changes;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ApplyChanges,
    testing::Values(
        ChangeCase{"nothingNamed", {0x03, 0x92, 0x00}, {}, {0x03, 0x92, 0x00}},
        ChangeCase{"nothingNamedStillCleans", {0xE3, 0x96, 0xFE}, {}, {0x03, 0x92, 0x02}},
        ChangeCase{"baudKeepsHandshake", {0x1B, 0x92, 0x00}, baud(57600), {0x1E, 0x92, 0x00}},
        ChangeCase{"slowestBaud", {0x07, 0x92, 0x00}, baud(1200), {0x00, 0x92, 0x00}},
        ChangeCase{
            "unofficialBaudLeavesField", {0x03, 0x92, 0x00}, baud(14400), {0x03, 0x92, 0x00}},
        ChangeCase{"ignoreCtsOnStrayBits",
                   {0xE3, 0x92, 0x00},
                   handshake(true, std::nullopt),
                   {0x13, 0x92, 0x00}},
        ChangeCase{"ignoreDsrOffKeepsCts",
                   {0x1F, 0x92, 0x00},
                   handshake(std::nullopt, false),
                   {0x17, 0x92, 0x00}},
        ChangeCase{"bothHandshakes", {0x05, 0x00, 0x00}, handshake(true, true), {0x1D, 0x00, 0x00}},
        ChangeCase{"secondaryOneSlotTwoSeconds",
                   {0x03, 0x90, 0x00},
                   discovery(Mode::SecondaryOnly, 1, 2),
                   {0x03, 0x63, 0x00}},
        ChangeCase{"primarySixSlotsFiveSeconds",
                   {0x03, 0x63, 0x00},
                   discovery(Mode::PrimarySecondary, 6, 5),
                   {0x03, 0xF8, 0x00}},
        ChangeCase{"fourSecondsIsCode25",
                   {0x03, 0x92, 0x00},
                   discovery(std::nullopt, std::nullopt, 4),
                   {0x03, 0xCA, 0x00}},
        ChangeCase{"slotsSixClearsBitTwo",
                   {0x03, 0x96, 0x00},
                   discovery(std::nullopt, 6, std::nullopt),
                   {0x03, 0x90, 0x00}},
        ChangeCase{"unknownTimeCodeKeptWhenTimeNotNamed",
                   {0x03, 0x40, 0x00},
                   discovery(Mode::SecondaryOnly, std::nullopt, std::nullopt),
                   {0x03, 0x41, 0x00}},
        ChangeCase{"timeOutOfRangeLeavesField",
                   {0x03, 0x92, 0x00},
                   discovery(std::nullopt, 2, 6),
                   {0x03, 0x92, 0x00}},
        ChangeCase{
            "hiddenProtocol", {0x03, 0x92, 0xFC}, protocol(Protocol::IrSocket), {0x03, 0x92, 0x03}},
        ChangeCase{"protocolBackToIrComm",
                   {0x03, 0x92, 0x02},
                   protocol(Protocol::IrComm),
                   {0x03, 0x92, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FieldChanges, EmptyOnlyWithoutAnyNamedField)
{
    EXPECT_TRUE(FieldChanges{}.isEmpty());
    EXPECT_FALSE(baud(9600).isEmpty());
    EXPECT_FALSE(handshake(false, std::nullopt).isEmpty());
    EXPECT_FALSE(protocol(Protocol::IrComm).isEmpty());
    EXPECT_FALSE(discovery(std::nullopt, std::nullopt, 3).isEmpty());
}

} // namespace
} // namespace qm240lx
