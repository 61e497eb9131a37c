#pragma once

#include <bitset>
#include <cstdint>

namespace qm240lx::sim {

// The one-byte commands the adapter understands.
namespace opcode {
inline constexpr std::uint8_t SetDByte = 0xAA;
inline constexpr std::uint8_t SetPByte = 0xAB;
inline constexpr std::uint8_t Probe = 0xAC;
inline constexpr std::uint8_t ReadConfiguration = 0xAD;
inline constexpr std::uint8_t SetHByte = 0xAE;
inline constexpr std::uint8_t SaveToFlash = 0xAF;

inline constexpr std::uint8_t Acknowledge = 0xFA;

constexpr bool isKnown(std::uint8_t byte)
{
    return byte >= SetDByte && byte <= SaveToFlash;
}

constexpr bool takesValue(std::uint8_t byte)
{
    return byte == SetHByte || byte == SetDByte || byte == SetPByte;
}
} // namespace opcode

// A set of opcodes a fault applies to, indexed by the opcode's value.
using OpcodeSet = std::bitset<256>;

inline OpcodeSet allOpcodes()
{
    return OpcodeSet{}.set();
}

inline OpcodeSet uploadOpcodes()
{
    return OpcodeSet{}.set(opcode::SetHByte).set(opcode::SetDByte).set(opcode::SetPByte);
}

} // namespace qm240lx::sim
