#pragma once

#include "sim/Adapter.h"
#include "support/FarEnd.h"

#include <functional>
#include <optional>
#include <vector>

namespace qm240lx::test {

// The emulator's adapter model at the far end: it takes each byte at the
// line's time and its replies arrive when due, all at once or, paced, one
// byte per character time as on a real line. Once unplugged it is gone: the
// port neither works nor opens again.
class AdapterEnd : public FarEnd
{
public:
    // Sees each value byte of an upload as it reaches the adapter, with the
    // configuration the adapter holds before taking it and those its whole
    // answers to read-backs reported so far (a lying adapter makes them up).
    using ValueWatch =
        std::function<void(std::uint8_t opcode, std::uint8_t value, const sim::Configuration& held,
                           const std::vector<sim::Configuration>& reported)>;

    explicit AdapterEnd(sim::Adapter adapter, std::optional<int> paceBaud = std::nullopt);

    const sim::Adapter& adapter() const { return m_adapter; }
    int flashWrites() const { return m_flashWrites; }
    void watchValues(ValueWatch watch) { m_watch = std::move(watch); }

    void take(std::uint8_t byte, VirtualLine& line) override;

private:
    void watch(std::uint8_t byte);
    void send(const QByteArray& bytes, Tick due, VirtualLine& line);

    sim::Adapter m_adapter;
    int m_flashWrites = 0;
    std::optional<long long> m_charTimeUs;
    long long m_lineFreeAtUs = 0; // since the line's start
    std::optional<std::uint8_t> m_valueFor;
    std::vector<sim::Configuration> m_reported;
    ValueWatch m_watch;
};

// The hostile adapter of the soaks: chaos drawn from `seed`, and in every
// other session stray bytes (55 FA ...) after the answers to some opcodes.
sim::Faults hostileFaults(std::uint32_t seed);

} // namespace qm240lx::test
