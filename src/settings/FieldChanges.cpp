#include "settings/FieldChanges.h"

namespace qm240lx {
namespace {

constexpr std::uint8_t speedCodeMask = 0x07;
constexpr std::uint8_t ignoreDsrBit = 0x08;
constexpr std::uint8_t ignoreCtsBit = 0x10;
constexpr std::uint8_t secondaryOnlyBit = 0x01;
constexpr std::uint8_t oneSlotBit = 0x02;
constexpr std::uint8_t discoveryTimeMask = 0xF8;
constexpr std::uint8_t protocolMask = 0x03;

void setField(std::uint8_t& byte, std::uint8_t mask, std::uint8_t value)
{
    byte = static_cast<std::uint8_t>((byte & ~mask) | (value & mask));
}

void setBit(std::uint8_t& byte, std::uint8_t bit, bool on)
{
    setField(byte, bit, on ? bit : 0);
}

void applyHost(const FieldChanges& changes, std::uint8_t& h)
{
    if (changes.baudRate) {
        if (const std::optional<int> code = baudCode(*changes.baudRate))
            setField(h, speedCodeMask, static_cast<std::uint8_t>(*code));
    }
    if (changes.ignoreCts)
        setBit(h, ignoreCtsBit, *changes.ignoreCts);
    if (changes.ignoreDsr)
        setBit(h, ignoreDsrBit, *changes.ignoreDsr);
}

void applyDiscovery(const FieldChanges& changes, std::uint8_t& d)
{
    if (changes.mode)
        setBit(d, secondaryOnlyBit, *changes.mode == DiscoveryMode::SecondaryOnly);
    if (changes.discoverySlots && isSlotCount(*changes.discoverySlots))
        setBit(d, oneSlotBit, *changes.discoverySlots == 1);
    if (changes.discoveryTimeS && isDiscoveryTime(*changes.discoveryTimeS)) {
        const auto element =
            static_cast<std::size_t>(*changes.discoveryTimeS - shortestDiscoveryTimeS);
        setField(d, discoveryTimeMask, discoveryTimeCodes[element]);
    }
}

void applyProtocol(const FieldChanges& changes, std::uint8_t& p)
{
    if (changes.protocol)
        setField(p, protocolMask, static_cast<std::uint8_t>(*changes.protocol));
}

} // namespace

ConfigBytes FieldChanges::applyTo(const ConfigBytes& current) const
{
    ConfigBytes bytes = withFieldsOnly(current);
    applyHost(*this, bytes.h);
    applyDiscovery(*this, bytes.d);
    applyProtocol(*this, bytes.p);
    return bytes;
}

ConfigBytes withFieldsOnly(const ConfigBytes& bytes)
{
    return {static_cast<std::uint8_t>(bytes.h & hByteFields),
            static_cast<std::uint8_t>(bytes.d & dByteFields),
            static_cast<std::uint8_t>(bytes.p & pByteFields)};
}

} // namespace qm240lx
