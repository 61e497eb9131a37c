#include "HostileSession.h"

#include "protocol/Detection.h"
#include "protocol/Opcodes.h"
#include "protocol/ReadBack.h"
#include "protocol/SaveToFlash.h"
#include "protocol/Upload.h"

#include <random>

namespace qm240lx::test {

namespace {

constexpr Tick longestPauseMs = 5000;

void showNothing(const QString&) {}

const UploadKind& uploadOf(CommandKind kind)
{
    return kind == CommandKind::UploadH   ? hostSettingsUpload()
           : kind == CommandKind::UploadD ? discoveryTimingUpload()
                                          : primaryProtocolUpload();
}

CommandRecord::Claim claimOf(UploadEnd end)
{
    return end == UploadEnd::Accepted                ? CommandRecord::Claim::Acknowledged
           : end == UploadEnd::ConfirmedAfterSilence ? CommandRecord::Claim::ConfirmedByReadBack
                                                     : CommandRecord::Claim::None;
}

} // namespace

HostileSession::HostileSession(std::uint32_t seed, int commandCount)
{
    std::mt19937 random(seed);
    const auto below = [&](std::uint32_t bound) { return static_cast<int>(random() % bound); };
    for (const Group group : allGroups) {
        if (below(16) == 0)
            continue;
        const int element = below(static_cast<std::uint32_t>(elementCount(group)));
        if (group == Group::OPT_DTime)
            m_discoveryTime = element;
        else
            m_recorded.select(group, element);
    }
    constexpr CommandKind later[] = {CommandKind::ReadBack, CommandKind::UploadH,
                                     CommandKind::UploadD,  CommandKind::UploadP,
                                     CommandKind::Save,     CommandKind::Detection};
    for (int index = 0; index < commandCount; ++index) {
        m_commands.push_back(index == 0 ? CommandKind::Detection : later[below(std::size(later))]);
        m_pauses.push_back(static_cast<Tick>(below(longestPauseMs + 1)));
    }
}

BuiltByte HostileSession::build(std::uint8_t opcode) const
{
    return opcode == opcode::setHByte   ? buildHByte(m_recorded)
           : opcode == opcode::setDByte ? buildDByte(m_recorded, m_discoveryTime)
                                        : buildPByte(m_recorded);
}

CommandRecord HostileSession::run(CommandKind kind, Exchange& exchange,
                                  const std::function<int()>& bytesWritten) const
{
    using Claim = CommandRecord::Claim;
    CommandRecord record{kind, bytesWritten()};
    const auto readBack = [&] {
        const ReadBack result = readConfiguration(exchange, showNothing);
        record.readBytes = result.bytes;
        return result;
    };
    if (kind == CommandKind::Detection)
        record.claim = detectAdapter(exchange, showNothing) == Answer::Acknowledged
                           ? Claim::Acknowledged
                           : Claim::None;
    else if (kind == CommandKind::ReadBack)
        record.claim = readBack().end == ReadBack::End::Read ? Claim::Read : Claim::None;
    else if (kind == CommandKind::Save)
        record.claim = saveToFlash(exchange, showNothing) == Answer::Acknowledged ? Claim::Acknowledged
                                                                            : Claim::None;
    else
        record.claim = claimOf(uploadSetting(
            exchange, uploadOf(kind), [&] { return build(opcodeOf(kind)); }, readBack,
            showNothing));
    record.writes = bytesWritten() - record.firstWrite;
    return record;
}

} // namespace qm240lx::test
