#include "sim/Chaos.h"

#include "sim/Opcode.h"

#include <algorithm>
#include <array>
#include <random>

namespace qm240lx::sim {

namespace {

// Draws are taken from the generator's raw output rather than the standard
// distributions, whose results differ between standard libraries.
std::uint32_t below(std::mt19937& random, std::uint32_t bound)
{
    return static_cast<std::uint32_t>(random() % bound);
}

bool misbehaves(std::mt19937& random, double rate)
{
    constexpr double range = 4294967296.0; // 2^32, the generator's span
    return static_cast<double>(random()) / range < rate;
}

Chaos::Kind drawKind(std::mt19937& random, bool readBack)
{
    constexpr std::array anyCommand{Chaos::Kind::WrongByte, Chaos::Kind::Late, Chaos::Kind::Extra,
                                    Chaos::Kind::Silent, Chaos::Kind::Unplug};
    // Only the read-back's answer has bytes to cut short.
    const std::uint32_t pick = below(random, anyCommand.size() + (readBack ? 1 : 0));
    return pick < anyCommand.size() ? anyCommand[pick] : Chaos::Kind::Partial;
}

QByteArray randomBytes(std::mt19937& random, int count)
{
    QByteArray bytes;
    for (int index = 0; index < count; ++index)
        bytes.append(static_cast<char>(below(random, 256)));
    return bytes;
}

std::uint8_t anythingButAcknowledge(std::mt19937& random)
{
    const auto byte = static_cast<std::uint8_t>(below(random, 255));
    return byte >= opcode::ready ? static_cast<std::uint8_t>(byte + 1) : byte;
}

void fillIn(Chaos::Choice& choice, std::mt19937& random, bool readBack)
{
    switch (choice.kind) {
    case Chaos::Kind::WrongByte:
        choice.bytes = readBack ? randomBytes(random, 3)
                                : QByteArray(1, static_cast<char>(anythingButAcknowledge(random)));
        break;
    case Chaos::Kind::Late: {
        const auto span = Chaos::longestDelay - Chaos::shortestDelay;
        choice.delay =
            Chaos::shortestDelay +
            std::chrono::milliseconds(below(random, static_cast<std::uint32_t>(span.count()) + 1));
        break;
    }
    case Chaos::Kind::Partial:
        choice.kept = 1 + static_cast<int>(below(random, 2));
        break;
    case Chaos::Kind::Extra:
        choice.bytes =
            randomBytes(random, 1 + static_cast<int>(below(random, Chaos::mostExtraBytes)));
        break;
    case Chaos::Kind::Correct:
    case Chaos::Kind::Silent:
    case Chaos::Kind::Unplug:
        break;
    }
}

} // namespace

Chaos::Chaos(Settings settings) : m_settings(settings) {}

Chaos::Choice Chaos::next(std::uint8_t opcode, std::uint8_t value)
{
    std::seed_seq seeds{m_settings.seed, m_commandNumber++, static_cast<std::uint32_t>(opcode),
                        static_cast<std::uint32_t>(value)};
    std::mt19937 random(seeds);
    Choice choice;
    if (!misbehaves(random, m_settings.rate))
        return choice;
    const bool readBack = opcode == opcode::readConfiguration;
    choice.kind = drawKind(random, readBack);
    fillIn(choice, random, readBack);
    return choice;
}

QByteArray Chaos::reshape(const Choice& choice, QByteArray proper)
{
    switch (choice.kind) {
    case Kind::Partial:
        return proper.first(std::min<qsizetype>(choice.kept, proper.size()));
    case Kind::Extra:
        return proper + choice.bytes;
    default:
        return proper;
    }
}

std::string_view Chaos::name(Kind kind)
{
    switch (kind) {
    case Kind::Correct:
        return "correct";
    case Kind::WrongByte:
        return "wrong byte";
    case Kind::Late:
        return "late";
    case Kind::Partial:
        return "partial";
    case Kind::Extra:
        return "extra bytes";
    case Kind::Silent:
        return "silent";
    case Kind::Unplug:
        return "unplug";
    }
    return {};
}

} // namespace qm240lx::sim
