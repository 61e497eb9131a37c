#include "WireCheck.h"

#include "link/Opcodes.h"
#include "settings/Upload.h"

#include <QByteArray>

namespace qm240lx::test {

namespace {

std::uint8_t opcodeOf(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Detection:
        return opcode::probe;
    case CommandKind::ReadBack:
        return opcode::readConfiguration;
    case CommandKind::UploadH:
        return opcode::setHByte;
    case CommandKind::UploadD:
        return opcode::setDByte;
    case CommandKind::UploadP:
        return opcode::setPByte;
    case CommandKind::Save:
        return opcode::saveToFlash;
    }
    return 0;
}

bool isUpload(CommandKind kind)
{
    return kind == CommandKind::UploadH || kind == CommandKind::UploadD ||
           kind == CommandKind::UploadP;
}

std::uint8_t fieldMask(CommandKind kind)
{
    switch (kind) {
    case CommandKind::UploadH:
        return hByteFields;
    case CommandKind::UploadD:
        return dByteFields;
    default:
        return pByteFields;
    }
}

std::uint8_t fieldOf(CommandKind kind, const ConfigBytes& bytes)
{
    switch (kind) {
    case CommandKind::UploadH:
        return bytes.h;
    case CommandKind::UploadD:
        return bytes.d;
    default:
        return bytes.p;
    }
}

QString hex(std::uint8_t byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

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
        const CommandRecord& record = records[index];
        const Window window = windowOf(records, index);
        const Writes writes = checkWrites(record, window, expectedValue, findings);
        if (!backed(record, window, writes)) {
            ++findings.falseSuccesses;
            findings.details.append(
                QStringLiteral("command %1 (opcode %2) claimed a success the line does not show")
                    .arg(index)
                    .arg(hex(opcodeOf(record.kind))));
        }
    }
    return findings;
}

WireCheck::Window WireCheck::windowOf(const std::vector<CommandRecord>& records,
                                      std::size_t index) const
{
    const CommandRecord& record = records[index];
    const auto hostPosition = [&](int write) -> std::optional<int> {
        if (write < 0 || write >= static_cast<int>(m_hostPositions.size()))
            return std::nullopt;
        return m_hostPositions[static_cast<std::size_t>(write)];
    };
    Window window;
    for (int write = record.firstWrite; write < record.firstWrite + record.writes; ++write) {
        if (const auto position = hostPosition(write))
            window.writes.push_back(*position);
    }
    window.end =
        hostPosition(record.firstWrite + record.writes).value_or(static_cast<int>(m_events.size()));
    if (m_order == Order::Racy)
        window.begin = hostPosition(record.firstWrite - 1).value_or(-1) + 1;
    else
        window.begin = window.writes.empty() ? window.end : window.writes.front();
    return window;
}

WireCheck::Writes WireCheck::checkWrites(const CommandRecord& record, const Window& window,
                                         const ExpectedValue& expectedValue,
                                         Findings& findings) const
{
    const std::uint8_t own = opcodeOf(record.kind);
    const bool upload = isUpload(record.kind);
    Writes writes;
    int attempts = 0;
    bool valueNext = false;
    const auto unchosen = [&](std::uint8_t byte, const char* why) {
        ++findings.unchosenWrites;
        findings.details.append(QStringLiteral("byte %1 written: %2").arg(hex(byte), why));
    };
    for (const int position : window.writes) {
        const std::uint8_t byte = m_events[static_cast<std::size_t>(position)].byte;
        if (valueNext) {
            valueNext = false;
            writes.lastValue = byte;
            writes.lastValuePosition = position;
            const std::optional<std::uint8_t> expected = expectedValue(own);
            if ((byte & ~fieldMask(record.kind)) != 0)
                unchosen(byte, "a value with bits outside its fields");
            else if (expected != byte)
                unchosen(byte, "a value the selections do not build");
        } else if (writes.readBackRequest) {
            unchosen(byte, "a byte after the upload's read-back");
        } else if (byte == own && (upload ? attempts < uploadAttempts : attempts == 0)) {
            ++attempts;
            writes.lastOpcode = position;
            valueNext = upload;
        } else if (upload && attempts > 0 && byte == opcode::readConfiguration) {
            writes.readBackRequest = position;
        } else {
            unchosen(byte, "a command the user did not give");
        }
    }
    return writes;
}

bool WireCheck::backed(const CommandRecord& record, const Window& window,
                       const Writes& writes) const
{
    const bool racy = m_order == Order::Racy;
    const int end = window.end;
    switch (record.claim) {
    case CommandRecord::Claim::None:
        return true;
    case CommandRecord::Claim::Acknowledged: {
        if (!writes.lastOpcode)
            return false;
        const int from = racy ? window.begin : *writes.lastOpcode + 1;
        if (!sentAcknowledgement(from, writes.readBackRequest.value_or(end)))
            return false;
        // An accepted upload's read-back must show bytes the adapter sent.
        return !record.readBytes ||
               (writes.readBackRequest &&
                sentRun(*record.readBytes, racy ? *writes.lastOpcode : *writes.readBackRequest,
                        end));
    }
    case CommandRecord::Claim::ConfirmedByReadBack:
        return writes.lastValue && writes.readBackRequest && record.readBytes &&
               fieldOf(record.kind, *record.readBytes) == *writes.lastValue &&
               sentRun(*record.readBytes,
                       racy ? *writes.lastValuePosition : *writes.readBackRequest, end);
    case CommandRecord::Claim::Read:
        return writes.lastOpcode && record.readBytes &&
               sentRun(*record.readBytes, racy ? window.begin : *writes.lastOpcode, end);
    }
    return false;
}

bool WireCheck::sentAcknowledgement(int from, int to) const
{
    for (int position = from; position < to; ++position) {
        const WireEvent& event = m_events[static_cast<std::size_t>(position)];
        if (!event.fromHost && event.byte == opcode::ready)
            return true;
    }
    return false;
}

bool WireCheck::sentRun(const ConfigBytes& bytes, int from, int to) const
{
    QByteArray sent;
    for (int position = std::max(from, 0); position < to; ++position) {
        const WireEvent& event = m_events[static_cast<std::size_t>(position)];
        if (!event.fromHost)
            sent.append(static_cast<char>(event.byte));
    }
    QByteArray run;
    for (const std::uint8_t byte : {bytes.h, bytes.d, bytes.p})
        run.append(static_cast<char>(byte));
    return sent.contains(run);
}

} // namespace qm240lx::test
