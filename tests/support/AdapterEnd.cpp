#include "support/AdapterEnd.h"

#include "support/VirtualLine.h"

namespace qm240lx::test {

void AdapterEnd::take(std::uint8_t byte, VirtualLine& line)
{
    const Tick now = line.elapsed();
    sim::Adapter::Outcome outcome = m_adapter.receive(byte, sim::Adapter::Millis(now));
    m_flashWrites += outcome.flashWritten;
    if (outcome.unplugged) {
        const PortError gone{PortError::Kind::Lost, line.deviceName(),
                             QStringLiteral("the adapter was unplugged")};
        line.lose(gone.message);
        line.failOpening(line.comNumber(), gone);
    }
    if (outcome.reply) {
        const auto due = static_cast<Tick>(outcome.reply->due.count());
        line.arriveAfter(due > now ? due - now : 0, outcome.reply->bytes);
    }
}

} // namespace qm240lx::test
