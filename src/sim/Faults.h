#pragma once

#include "sim/Chaos.h"
#include "sim/Opcode.h"

#include <chrono>
#include <cstdint>
#include <optional>

#include <QByteArray>

namespace qm240lx::sim {

// Misbehaviours the emulated adapter can be told to show. All of them combine;
// the defaults describe a healthy adapter.
struct Faults
{
    // Commands that get no answer at all; they still take effect.
    OpcodeSet silentOps;

    // The first `rejectCount` commands among `rejectOps` are answered with
    // `rejectByte` and have no effect.
    int rejectCount = 0;
    OpcodeSet rejectOps = uploadOpcodes();
    std::uint8_t rejectByte = 0xEE;

    // Answer to the probe instead of the acknowledgement.
    std::optional<std::uint8_t> probeAnswer;

    // The read-back sends the H-Byte and D-Byte only.
    bool shortReadback = false;

    // Bits the read-back sets in every byte it reports, beside what it holds.
    std::uint8_t strayBits = 0;

    // Stray bytes appended to every answer to one of `extraOps`: `extraCount`
    // of them, going round `extraBytes`.
    int extraCount = 0;
    QByteArray extraBytes = QByteArray(1, static_cast<char>(opcode::ready));
    OpcodeSet extraOps = allOpcodes();

    // How long answers to `delayOps` take.
    std::chrono::milliseconds delay{0};
    OpcodeSet delayOps = allOpcodes();

    // The adapter is pulled off the line when this many bytes have arrived; the
    // last of them is not acted on.
    std::optional<int> unplugAfter;

    // Every command, drawn from the seed, is answered properly or with one
    // misbehaviour; on top of the faults above.
    std::optional<Chaos::Settings> chaos;

    friend bool operator==(const Faults&, const Faults&) = default;
};

} // namespace qm240lx::sim
