#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>

#include <QString>
#include <QStringView>

namespace qm240lx::sim {

// The byte log of the emulator: one line per byte, each way, stamped with the
// time since start, for example
//     12.345 ms  rx AC
//     12.400 ms  tx FA
// The time is right-aligned in 9 columns with three decimals, followed by
// " ms", two spaces, "rx" (the host wrote the byte) or "tx" (the adapter sent
// it), a space and the byte as two upper-case hex digits.
class Trace
{
public:
    enum class Direction
    {
        Received,
        Sent,
    };

    struct Entry
    {
        double milliseconds = 0;
        Direction direction = Direction::Received;
        std::uint8_t byte = 0;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // A disabled trace writes nothing.
    Trace(std::FILE* stream, bool enabled);

    bool isEnabled() const { return m_stream != nullptr; }

    void log(std::chrono::nanoseconds sinceStart, Direction direction, std::uint8_t byte) const;

    static QString format(std::chrono::nanoseconds sinceStart, Direction direction,
                          std::uint8_t byte);

    // nullopt for a line that is not a byte line.
    static std::optional<Entry> parse(QStringView line);

private:
    std::FILE* m_stream;
};

} // namespace qm240lx::sim
