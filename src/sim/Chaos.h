#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include <QByteArray>

namespace qm240lx::sim {

// The hostile adapter: before each command it draws how to answer it, from a
// generator seeded with the chaos seed, the command's number and its bytes.
// The same seed and the same bytes from the host replay the same answers.
class Chaos
{
public:
    static constexpr double defaultRate = 0.5;

    struct Settings
    {
        std::uint32_t seed = 0;
        double rate = defaultRate; // share of commands that misbehave, 0 to 1

        friend bool operator==(const Settings&, const Settings&) = default;
    };

    enum class Kind
    {
        Correct,   // the proper answer
        WrongByte, // a byte other than the acknowledgement; the command has no effect
        Late,      // the proper answer, `delay` late
        Partial,   // the read-back sends only its first `kept` bytes
        Extra,     // the proper answer followed by `bytes`
        Silent,    // no answer; the command takes effect
        Unplug,    // the cable is pulled; the command is not acted on
    };
    static constexpr int kindCount = 7;

    // How one command is answered.
    struct Choice
    {
        Kind kind = Kind::Correct;
        std::chrono::milliseconds delay{0}; // Late
        QByteArray bytes;                   // WrongByte: the answer; Extra: what follows it
        int kept = 0;                       // Partial

        friend bool operator==(const Choice&, const Choice&) = default;
    };

    // Late answers take this long, from well inside the host's limits to
    // beyond the longest of them (3 s).
    static constexpr std::chrono::milliseconds shortestDelay{100};
    static constexpr std::chrono::milliseconds longestDelay{4000};
    static constexpr int mostExtraBytes = 3;

    explicit Chaos(Settings settings);

    // Draws the answer to the next command: `opcode`, and `value` for the
    // three uploads (0 for the others).
    Choice next(std::uint8_t opcode, std::uint8_t value);

    // The answer a choice turns `proper` into; WrongByte and Silent are the
    // caller's, since they also change what the command does.
    static QByteArray reshape(const Choice& choice, QByteArray proper);

    static std::string_view name(Kind kind);

private:
    Settings m_settings;
    std::uint32_t m_commandNumber = 0;
};

} // namespace qm240lx::sim
