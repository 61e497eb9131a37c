#pragma once

#include "settings/ConfigBytes.h"

#include <cstdint>
#include <functional>
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

// One byte on the line, in the order the adapter saw it: written by the host
// (and received by the adapter) or sent by the adapter.
struct WireEvent
{
    bool fromHost = false;
    std::uint8_t byte = 0;
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
    std::optional<ConfigBytes> readBytes =
        std::nullopt; // of the command's or its upload's read-back
};

// Judges a run of commands against what the line carried: every byte written
// is an opcode the command may send or the value byte built from the user's
// selections, and every success rests on an acknowledgement or read-back that
// the adapter sent while the command ran.
class WireCheck
{
public:
    // Exact: the log orders host and adapter bytes as they happened (an
    // in-process line). Racy: bytes sent just before the host's next write may
    // be logged after it (a real line); a command's window then opens at the
    // previous command's last write.
    enum class Order
    {
        Exact,
        Racy,
    };

    struct Findings
    {
        int falseSuccesses = 0;
        int unchosenWrites = 0;
        QStringList details;
    };

    // The value byte the user's selections build for an upload opcode, or
    // nullopt when they build none.
    using ExpectedValue = std::function<std::optional<std::uint8_t>(std::uint8_t opcode)>;

    WireCheck(std::vector<WireEvent> events, Order order);

    Findings check(const std::vector<CommandRecord>& records,
                   const ExpectedValue& expectedValue) const;

private:
    // Event positions: of a command's last opcode, value and read-back request,
    // and where the adapter's answer may be. Racy logs open the window at the
    // previous command's last write.
    struct Window
    {
        int begin = 0;
        int end = 0; // past the last event
        std::optional<int> lastOpcode;
        std::optional<int> lastValue;
        std::optional<int> readBackRequest;
    };

    std::optional<int> hostPosition(int write) const;
    // Counts the command's unchosen bytes.
    Window scan(const CommandRecord& record, const ExpectedValue& expectedValue,
                Findings& findings) const;
    bool backed(const CommandRecord& record, const Window& window) const;
    bool sentAcknowledgement(int from, int to) const;
    bool sentRun(const ConfigBytes& bytes, int from, int to) const;
    std::uint8_t byteAt(int position) const { return m_events[std::size_t(position)].byte; }

    std::vector<WireEvent> m_events;
    std::vector<int> m_hostPositions;
    Order m_order;
};

} // namespace qm240lx::test
