#pragma once

#include "link/Opcodes.h"

#include <bitset>
#include <cstdint>

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
