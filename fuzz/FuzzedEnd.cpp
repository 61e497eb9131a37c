#include "FuzzedEnd.h"

#include "support/VirtualLine.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <utility>

namespace qm240lx::fuzz {

namespace {

constexpr Tick longestAnswerDelayMs = 4500;
constexpr Tick longestFixedStepMs = 1500;
constexpr Tick longestIdleMs = 6000;
constexpr std::size_t mostAnswerBytes = 5;
constexpr int mostStrayDeliveries = 2;

QByteArray drawBytes(FuzzedDataProvider& input)
{
    const std::vector<char> bytes =
        input.ConsumeBytes<char>(input.ConsumeIntegralInRange<std::size_t>(1, mostAnswerBytes));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

// The value byte after an upload's opcode draws no answer of its own: the
// opcode's answer stands for the pair.
void FuzzedEnd::take(std::uint8_t byte, test::VirtualLine& line)
{
    if (std::exchange(m_valueNext, false))
        return;
    m_valueNext = byte == 0xAA || byte == 0xAB || byte == 0xAE;
    enum Answer
    {
        Silence,
        Bytes,
        BytesThenLoss,
        Loss,
    };
    const int answer = m_input.ConsumeIntegralInRange(0, 3);
    if (answer == Silence)
        return;
    const Tick delay = m_input.ConsumeIntegralInRange<Tick>(0, longestAnswerDelayMs);
    if (answer != Loss)
        line.arriveAfter(delay, drawBytes(m_input));
    if (answer != Bytes)
        line.loseAfter(delay + m_input.ConsumeIntegralInRange<Tick>(0, 100));
}

// Up to the next delivery, by a drawn step, or by the whole wait.
Tick FuzzedEnd::passStep(Tick longest, Tick toNextDelivery)
{
    switch (m_input.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return toNextDelivery;
    case 1:
        return m_input.ConsumeIntegralInRange<Tick>(1, longestFixedStepMs);
    default:
        return longest;
    }
}

void FuzzedEnd::idle(test::VirtualLine& line)
{
    const Tick gap = m_input.ConsumeIntegralInRange<Tick>(0, longestIdleMs);
    for (int stray = m_input.ConsumeIntegralInRange(0, mostStrayDeliveries); stray > 0; --stray)
        line.arriveAfter(m_input.ConsumeIntegralInRange<Tick>(0, gap + 3000), drawBytes(m_input));
    line.idle(gap);
}

} // namespace qm240lx::fuzz
