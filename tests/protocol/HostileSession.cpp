#include "HostileSession.h"

#include "protocol/Opcodes.h"

#include <random>

namespace qm240lx::test {

namespace {

constexpr Tick longestPauseMs = 5000;

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

} // namespace qm240lx::test
