#pragma once

#include <bitset>
#include <cstdint>

// The adapter's side of the protocol, written out on its own: the emulator
// checks the host's code, so it takes none of its values from it.
namespace qm240lx::sim::opcode {

inline constexpr std::uint8_t setDByte = 0xAA;
inline constexpr std::uint8_t setPByte = 0xAB;
inline constexpr std::uint8_t probe = 0xAC;
inline constexpr std::uint8_t readConfiguration = 0xAD;
inline constexpr std::uint8_t setHByte = 0xAE;
inline constexpr std::uint8_t saveToFlash = 0xAF;

// The adapter's one acknowledgement.
inline constexpr std::uint8_t ready = 0xFA;

constexpr bool isOpcode(std::uint8_t byte)
{
    return byte >= setDByte && byte <= saveToFlash;
}

// The three uploads send a value byte after the opcode.
constexpr bool takesValue(std::uint8_t byte)
{
    return byte == setHByte || byte == setDByte || byte == setPByte;
}

} // namespace qm240lx::sim::opcode

namespace qm240lx::sim {

// A set of opcodes a fault applies to, indexed by the opcode's value.
using OpcodeSet = std::bitset<256>;

inline OpcodeSet allOpcodes()
{
    return OpcodeSet{}.set();
}

inline OpcodeSet uploadOpcodes()
{
    return OpcodeSet{}.set(opcode::setHByte).set(opcode::setDByte).set(opcode::setPByte);
}

} // namespace qm240lx::sim
