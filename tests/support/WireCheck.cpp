#include "support/WireCheck.h"

#include "link/Opcodes.h"
#include "settings/Upload.h"

#include <array>

#include <QByteArray>

namespace qm240lx::test {

namespace {

// Indexed by CommandKind.
constexpr std::array opcodes{opcode::probe,    opcode::readConfiguration, opcode::setHByte,
                             opcode::setDByte, opcode::setPByte,          opcode::saveToFlash};
constexpr std::array<std::uint8_t, 6> fieldMasks{0, 0, hByteFields, dByteFields, pByteFields, 0};

std::size_t indexOf(CommandKind kind)
{
    return static_cast<std::size_t>(kind);
}

QString hex(std::uint8_t byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

std::uint8_t opcodeOf(CommandKind kind)
{
    return opcodes[indexOf(kind)];
}

bool isUpload(CommandKind kind)
{
    return fieldMasks[indexOf(kind)] != 0;
}

std::uint8_t fieldOf(CommandKind upload, const ConfigBytes& bytes)
{
    return upload == CommandKind::UploadH   ? bytes.h
           : upload == CommandKind::UploadD ? bytes.d
                                            : bytes.p;
}

WireCheck::WireCheck(std::vector<WireEvent> events, Order order)
    : m_events(std::move(events)), m_order(order)
{
    for (std::size_t position = 0; position < m_events.size(); ++position) {
        if (m_events[position].fromHost)
            m_hostPositions.push_back(static_cast<int>(position));
    }
}

WireCheck::Findings WireCheck::check(const std::vector<CommandRecord>& records,
                                     const ExpectedValue& expectedValue) const
{
    Findings findings;
    for (std::size_t index = 0; index < records.size(); ++index) {
        if (!backed(records[index], scan(records[index], expectedValue, findings))) {
            ++findings.falseSuccesses;
            findings.details.append(
                QStringLiteral("command %1 (opcode %2) claimed a success the line does not show")
                    .arg(index)
                    .arg(hex(opcodeOf(records[index].kind))));
        }
    }
    return findings;
}

std::optional<int> WireCheck::hostPosition(int write) const
{
    if (write < 0 || write >= static_cast<int>(m_hostPositions.size()))
        return std::nullopt;
    return m_hostPositions[static_cast<std::size_t>(write)];
}

WireCheck::Window WireCheck::scan(const CommandRecord& record, const ExpectedValue& expectedValue,
                                  Findings& findings) const
{
    Window window;
    window.begin = hostPosition(record.firstWrite - 1).value_or(-1) + 1;
    window.end =
        hostPosition(record.firstWrite + record.writes).value_or(static_cast<int>(m_events.size()));
    const std::uint8_t own = opcodeOf(record.kind);
    const bool upload = isUpload(record.kind);
    int attempts = 0;
    bool valueNext = false;
    const auto unchosen = [&](std::uint8_t byte, const char* why) {
        ++findings.unchosenWrites;
        findings.details.append(QStringLiteral("byte %1 written: %2").arg(hex(byte), why));
    };
    for (int write = record.firstWrite; write < record.firstWrite + record.writes; ++write) {
        const std::optional<int> position = hostPosition(write);
        if (!position)
            continue;
        const std::uint8_t byte = byteAt(*position);
        if (valueNext) {
            valueNext = false;
            window.lastValue = position;
            if ((byte & ~fieldMasks[indexOf(record.kind)]) != 0)
                unchosen(byte, "a value with bits outside its fields");
            else if (expectedValue(own) != byte)
                unchosen(byte, "a value the selections do not build");
        } else if (window.readBackRequest) {
            unchosen(byte, "a byte after the upload's read-back");
        } else if (byte == own && attempts < (upload ? uploadAttempts : 1)) {
            ++attempts;
            window.lastOpcode = position;
            valueNext = upload;
        } else if (upload && attempts > 0 && byte == opcode::readConfiguration) {
            window.readBackRequest = position;
        } else {
            unchosen(byte, "a command the user did not give");
        }
    }
    return window;
}

bool WireCheck::backed(const CommandRecord& record, const Window& window) const
{
    const bool racy = m_order == Order::Racy;
    switch (record.claim) {
    case CommandRecord::Claim::None:
        return true;
    case CommandRecord::Claim::Acknowledged:
        if (!window.lastOpcode || !sentAcknowledgement(racy ? window.begin : *window.lastOpcode + 1,
                                                       window.readBackRequest.value_or(window.end)))
            return false;
        // An accepted upload's read-back must show bytes the adapter sent.
        return !record.readBytes ||
               (window.readBackRequest &&
                sentRun(*record.readBytes, racy ? *window.lastOpcode : *window.readBackRequest,
                        window.end));
    case CommandRecord::Claim::ConfirmedByReadBack:
        return window.lastValue && window.readBackRequest && record.readBytes &&
               fieldOf(record.kind, *record.readBytes) == byteAt(*window.lastValue) &&
               sentRun(*record.readBytes, racy ? *window.lastValue : *window.readBackRequest,
                       window.end);
    case CommandRecord::Claim::Read:
        return window.lastOpcode && record.readBytes &&
               sentRun(*record.readBytes, racy ? window.begin : *window.lastOpcode, window.end);
    }
    return false;
}

bool WireCheck::sentAcknowledgement(int from, int to) const
{
    for (int position = from; position < to; ++position) {
        if (!m_events[std::size_t(position)].fromHost && byteAt(position) == opcode::ready)
            return true;
    }
    return false;
}

bool WireCheck::sentRun(const ConfigBytes& bytes, int from, int to) const
{
    QByteArray sent;
    for (int position = std::max(from, 0); position < to; ++position) {
        if (!m_events[std::size_t(position)].fromHost)
            sent.append(static_cast<char>(byteAt(position)));
    }
    const std::array run{char(bytes.h), char(bytes.d), char(bytes.p)};
    return sent.contains(QByteArrayView(run.data(), run.size()));
}

} // namespace qm240lx::test
