#pragma once

#include <cstdint>

namespace qm240lx::opcode {

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

} // namespace qm240lx::opcode
