#include "support/WireCheck.h"

#include "protocol/Opcodes.h"
#include "protocol/ReadBack.h"
#include "protocol/Upload.h"

#include <algorithm>
#include <array>

#include <QByteArray>

namespace qm240lx::test {

namespace {

// Indexed by CommandKind.
constexpr std::array opcodes{opcode::probe,    opcode::readConfiguration, opcode::setHByte,
                             opcode::setDByte, opcode::setPByte,          opcode::saveToFlash};
constexpr std::array<std::uint8_t, 6> fieldMasks{0, 0, hByteFields, dByteFields, pByteFields, 0};

using Events = std::vector<WireEvent>;

// Event positions: of a command's last opcode, value and read-back request,
// and the end of the command's share of the line.
struct Window
{
    int end = 0;
    std::optional<int> lastOpcode, lastValue, readBackRequest;
};

QString hex(std::uint8_t byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

std::uint8_t maskOf(CommandKind kind)
{
    return fieldMasks[static_cast<std::size_t>(kind)];
}

// The first `count` bytes the adapter sent after the byte at `from`, before `to`.
QByteArray answerTo(const Events& events, std::optional<int> from, int to, int count)
{
    QByteArray sent;
    for (int position = from.value_or(to) + 1; position < to && sent.size() < count; ++position) {
        if (!events[std::size_t(position)].fromHost)
            sent.append(static_cast<char>(events[std::size_t(position)].byte));
    }
    return sent;
}

std::optional<ConfigBytes> configOf(const QByteArray& sent)
{
    const auto byte = [&](int position) { return static_cast<std::uint8_t>(sent[position]); };
    return sent.size() == 3 ? std::optional(ConfigBytes{byte(0), byte(1), byte(2)}) : std::nullopt;
}

// Counts the command's unchosen bytes.
Window scan(const Events& events, const std::vector<int>& hostPositions,
            const CommandRecord& record, WireFindings& findings)
{
    const int hostWrites = static_cast<int>(hostPositions.size());
    const int last = std::min(record.firstWrite + record.writes, hostWrites);
    Window window;
    window.end = last < hostWrites ? hostPositions[std::size_t(last)] : int(events.size());
    const std::uint8_t own = opcodeOf(record.kind);
    const bool upload = isUpload(record.kind);
    const int mostOpcodes = upload                                 ? uploadAttempts
                            : record.kind == CommandKind::ReadBack ? readBackAttempts
                                                                   : 1;
    int attempts = 0;
    int readBacks = 0;
    bool valueNext = false;
    const auto unchosen = [&](std::uint8_t byte, const char* why) {
        ++findings.unchosenWrites;
        findings.details.append(QStringLiteral("byte %1 written: %2").arg(hex(byte), why));
    };
    for (int write = record.firstWrite; write < last; ++write) {
        const int position = hostPositions[std::size_t(write)];
        const std::uint8_t byte = events[std::size_t(position)].byte;
        if (valueNext) {
            valueNext = false;
            window.lastValue = position;
            if ((byte & ~maskOf(record.kind)) != 0)
                unchosen(byte, "a value with bits outside its fields");
            else if (record.chosenValue != byte)
                unchosen(byte, "a value the selections do not build");
        } else if (upload && attempts > 0 && byte == opcode::readConfiguration &&
                   readBacks < readBackAttempts) {
            ++readBacks;
            window.readBackRequest = position;
        } else if (window.readBackRequest) {
            unchosen(byte, "a byte after the upload's read-back");
        } else if (byte == own && attempts < mostOpcodes) {
            ++attempts;
            window.lastOpcode = position;
            valueNext = upload;
        } else {
            unchosen(byte, "a command the user did not give");
        }
    }
    return window;
}

bool backed(const Events& events, const CommandRecord& record, const Window& window)
{
    const std::optional<int> request =
        isUpload(record.kind) ? window.readBackRequest : window.lastOpcode;
    const std::optional<ConfigBytes> held = configOf(answerTo(events, request, window.end, 3));
    // What the command says it read must be what the adapter sent.
    const bool readAsSent = !record.readBytes || held == record.readBytes;
    switch (record.claim) {
    case CommandRecord::Claim::None:
        return true;
    case CommandRecord::Claim::Acknowledged:
        return answerTo(events, window.lastOpcode, window.readBackRequest.value_or(window.end),
                        1) == QByteArray(1, char(opcode::ready)) &&
               readAsSent;
    case CommandRecord::Claim::ConfirmedByReadBack:
        // Bits outside the fields say nothing about the setting.
        return window.lastValue && held && readAsSent &&
               (fieldOf(record.kind, *held) & maskOf(record.kind)) ==
                   events[std::size_t(*window.lastValue)].byte;
    case CommandRecord::Claim::Read:
        return record.readBytes && readAsSent;
    }
    return false;
}

} // namespace

std::uint8_t opcodeOf(CommandKind kind)
{
    return opcodes[static_cast<std::size_t>(kind)];
}

bool isUpload(CommandKind kind)
{
    return maskOf(kind) != 0;
}

std::uint8_t fieldOf(CommandKind upload, const ConfigBytes& bytes)
{
    return upload == CommandKind::UploadH   ? bytes.h
           : upload == CommandKind::UploadD ? bytes.d
                                            : bytes.p;
}

WireFindings checkWire(const Events& events, const std::vector<CommandRecord>& records)
{
    std::vector<int> hostPositions;
    for (std::size_t position = 0; position < events.size(); ++position) {
        if (events[position].fromHost)
            hostPositions.push_back(static_cast<int>(position));
    }
    WireFindings findings;
    for (std::size_t index = 0; index < records.size(); ++index) {
        const CommandRecord& record = records[index];
        if (!backed(events, record, scan(events, hostPositions, record, findings))) {
            ++findings.falseSuccesses;
            findings.details.append(
                QStringLiteral("command %1 (opcode %2) claimed a success the line does not show")
                    .arg(index)
                    .arg(hex(opcodeOf(record.kind))));
        }
    }
    return findings;
}

} // namespace qm240lx::test
