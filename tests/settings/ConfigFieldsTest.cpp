#include "settings/ConfigFields.h"

#include "settings/FieldChanges.h"

#include <tuple>

#include <QByteArray>
#include <QString>

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

// The bytes as six hex digits, H first.
ConfigBytes configBytes(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    return {std::uint8_t(bytes[0]), std::uint8_t(bytes[1]), std::uint8_t(bytes[2])};
}

std::string hexOf(const ConfigBytes& bytes)
{
    return QString::asprintf("%02x%02x%02x", bytes.h, bytes.d, bytes.p).toStdString();
}

TEST(FieldChanges, ReplaceOnlyTheNamedFieldsAndClearUncoveredBits)
{
    const std::tuple<const char*, FieldChanges, const char*> cases[] = {
        {"e396fe", {}, "039202"}, // nothing named still cleans
        {"1b9200", {.baudRate = 57600}, "1e9200"},
        {"0b9200", {.ignoreCts = true, .ignoreDsr = false}, "139200"},
        {"039000",
         {.mode = Mode::SecondaryOnly, .discoverySlots = 1, .discoveryTimeS = 2},
         "036300"},
        {"036300",
         {.mode = Mode::PrimarySecondary, .discoverySlots = 6, .discoveryTimeS = 5},
         "03f800"},
        {"034000", {.mode = Mode::SecondaryOnly}, "034100"}, // an unknown time code stays
        {"039200", {.baudRate = 14400, .discoverySlots = 2, .discoveryTimeS = 6}, "039200"},
        {"0392fc", {.protocol = Protocol::IrSocket}, "039203"},
    };
    for (const auto& [current, changes, expected] : cases)
        EXPECT_EQ(hexOf(changes.applyTo(configBytes(current))), expected) << current;
}

} // namespace
} // namespace qm240lx
