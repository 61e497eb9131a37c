#include "support/Choices.h"

#include "protocol/Opcodes.h"

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
                     const std::optional<sim::Configuration>& reported) const
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
        const bool isReported = reported && (byteOf(byte, *reported) & setting.bits) == field;
        if (field != (heldByte & setting.bits) && !isPick && !isReported)
            return false;
    }
    return true;
}

} // namespace qm240lx::test
