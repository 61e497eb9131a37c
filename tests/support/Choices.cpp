#include "support/Choices.h"

#include "protocol/Opcodes.h"
#include "settings/ConfigBytes.h"

#include <algorithm>

namespace qm240lx::test {

std::uint8_t Choices::codeOf(Group group, int element) const
{
    const Setting& setting = settingOf(group);
    const auto& values = setting.values;
    return values[std::size_t(element)].code.value_or(
        values[std::size_t(setting.fallback)].code.value_or(0));
}

namespace {

std::uint8_t byteOf(ConfigByte byte, const sim::Configuration& bytes)
{
    return byte == ConfigByte::H ? bytes.hByte : byte == ConfigByte::D ? bytes.dByte : bytes.pByte;
}

} // namespace

bool Choices::allows(std::uint8_t opcode, std::uint8_t value, const sim::Configuration& held,
                     const std::vector<sim::Configuration>& reported) const
{
    const ConfigByte byte = opcode == opcode::setHByte   ? ConfigByte::H
                            : opcode == opcode::setDByte ? ConfigByte::D
                                                         : ConfigByte::P;
    const std::uint8_t heldByte = byteOf(byte, held);
    if ((value & ~fieldsOf(byte)) != 0)
        return false;
    for (const Setting& setting : settingTable) {
        if (setting.byte != byte)
            continue;
        const std::uint8_t field = value & setting.bits;
        const auto picked = m_elements.find(setting.group);
        const bool isPick =
            picked != m_elements.end() && codeOf(setting.group, picked->second) == field;
        // As read (the command line keeps a code outside the table), or as the
        // window shows it (as the group's fallback).
        const auto shownAs = [&](std::uint8_t read) {
            return (read & setting.bits) == field ||
                   codeOf(setting.group, decodedElement(setting, read)) == field;
        };
        const bool isReported = std::ranges::any_of(reported, [&](const sim::Configuration& bytes) {
            return shownAs(byteOf(byte, bytes));
        });
        if (!shownAs(heldByte) && !isPick && !isReported)
            return false;
    }
    return true;
}

} // namespace qm240lx::test
