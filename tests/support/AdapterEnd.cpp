#include "support/AdapterEnd.h"

#include "support/VirtualLine.h"

#include <algorithm>

namespace qm240lx::test {

AdapterEnd::AdapterEnd(sim::Adapter adapter, std::optional<int> paceBaud)
    : m_adapter(std::move(adapter))
{
    if (paceBaud)
        m_charTimeUs = 10'000'000LL / *paceBaud; // 10 bits a character
}

void AdapterEnd::take(std::uint8_t byte, VirtualLine& line)
{
    const Tick now = line.elapsed();
    const bool isValue = m_valueFor.has_value();
    watch(byte);
    sim::Adapter::Outcome outcome = m_adapter.receive(byte, sim::Adapter::Millis(now));
    m_flashWrites += outcome.flashWritten;
    if (outcome.unplugged) {
        const PortError gone{PortError::Kind::Lost, line.deviceName(),
                             QStringLiteral("the adapter was unplugged")};
        line.lose(gone.message);
        line.failOpening(line.comNumber(), gone);
    }
    const QByteArray& answer = outcome.reply ? outcome.reply->bytes : QByteArray();
    if (byte == sim::opcode::readConfiguration && !isValue && answer.size() >= 3)
        m_reported.push_back(
            {std::uint8_t(answer[0]), std::uint8_t(answer[1]), std::uint8_t(answer[2])});
    if (outcome.reply) {
        const auto due = static_cast<Tick>(outcome.reply->due.count());
        send(outcome.reply->bytes, std::max(due, now), line);
    }
}

void AdapterEnd::watch(std::uint8_t byte)
{
    if (m_valueFor) {
        if (m_watch && !m_adapter.isUnplugged())
            m_watch(*m_valueFor, byte, m_adapter.configuration(), m_reported);
        m_valueFor.reset();
    } else if (sim::opcode::takesValue(byte)) {
        m_valueFor = byte;
    }
}

// Paced, a byte arrives once its last bit has crossed, after the bytes
// before it; the line's clock counts whole milliseconds, so it arrives in the
// millisecond that ends after that.
void AdapterEnd::send(const QByteArray& bytes, Tick due, VirtualLine& line)
{
    const Tick now = line.elapsed();
    if (!m_charTimeUs) {
        line.arriveAfter(due - now, bytes);
        return;
    }
    for (const char byte : bytes) {
        m_lineFreeAtUs = std::max(m_lineFreeAtUs, 1000LL * due) + *m_charTimeUs;
        const auto arrival = static_cast<Tick>((m_lineFreeAtUs + 999) / 1000);
        line.arriveAfter(arrival - now, QByteArray(1, byte));
    }
}

sim::Faults hostileFaults(std::uint32_t seed)
{
    sim::Faults faults;
    faults.chaos = sim::Chaos::Settings{seed, sim::Chaos::defaultRate};
    if (seed % 2 == 0) {
        faults.extraCount = 1 + static_cast<int>(seed / 2 % 3);
        faults.extraBytes = QByteArray::fromHex("55fa");
        faults.extraOps.reset();
        for (const std::uint8_t opcode : {0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF})
            faults.extraOps.set(opcode, (seed >> (opcode & 7)) % 2 == 0);
    }
    return faults;
}

} // namespace qm240lx::test
