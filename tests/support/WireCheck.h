#pragma once

#include "async/Tick.h"
#include "settings/ConfigBytes.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <QStringList>

namespace qm240lx::test {

enum class CommandKind
{
    Detection,
    ReadBack,
    UploadH,
    UploadD,
    UploadP,
    Save,
};

std::uint8_t opcodeOf(CommandKind kind);
bool isUpload(CommandKind kind);
// The upload's byte in a read-back.
std::uint8_t fieldOf(CommandKind upload, const ConfigBytes& bytes);

// One byte on the line, in the order it crossed: written by the host (and
// taken by the adapter at once) or sent by the adapter and received.
struct WireEvent
{
    bool fromHost = false;
    std::uint8_t byte = 0;
    Tick at = 0; // milliseconds since the line's start
};

// What a command wrote and what it claimed.
struct CommandRecord
{
    enum class Claim
    {
        None,                // no success claimed
        Acknowledged,        // Ready, Accepted or Saved
        ConfirmedByReadBack, // an upload confirmed after silence
        Read,                // a read-back that read its three bytes
    };

    CommandKind kind = CommandKind::Detection;
    int firstWrite = 0; // bytes the host wrote before the command
    int writes = 0;     // bytes the command wrote
    Claim claim = Claim::None;
    // What the command's (or its upload's) read-back read, when known.
    std::optional<ConfigBytes> readBytes = std::nullopt;
    // The value byte the user's choices built for an upload, if any.
    std::optional<std::uint8_t> chosenValue = std::nullopt;
};

struct WireFindings
{
    int falseSuccesses = 0;
    int unchosenWrites = 0;
    QStringList details;
};

// Judges a run of commands against what the line carried, in the order it
// happened: every byte written is an opcode the command may send or the value
// byte built from the user's selections, and every success rests on the
// adapter's answer to the command: the first byte it sent after the opcode,
// or the first three after the read-back request.
WireFindings checkWire(const std::vector<WireEvent>& events,
                       const std::vector<CommandRecord>& records);

} // namespace qm240lx::test
