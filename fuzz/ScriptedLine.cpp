#include "ScriptedLine.h"

#include <algorithm>
#include <cstdio>
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

ScriptedLine::ScriptedLine(FuzzedDataProvider& input, Tick start)
    : m_input(input), m_start(start), m_now(start)
{}

void ScriptedLine::idle()
{
    const Tick gap = m_input.ConsumeIntegralInRange<Tick>(0, longestIdleMs);
    for (int stray = m_input.ConsumeIntegralInRange(0, mostStrayDeliveries); stray > 0; --stray) {
        const Tick due = sinceStart() + m_input.ConsumeIntegralInRange<Tick>(0, gap + 3000);
        m_deliveries.push_back({due, drawBytes(m_input)});
    }
    advance(gap);
}

// Value bytes after an upload opcode draw no answer of their own: the
// opcode's answer stands for the pair.
bool ScriptedLine::output(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    for (const char byte : bytes) {
        m_events.push_back({true, static_cast<std::uint8_t>(byte)});
        const bool valueByte = std::exchange(m_expectValueByte, false);
        if (valueByte)
            continue;
        m_expectValueByte = byte == '\xAA' || byte == '\xAB' || byte == '\xAE';
        scheduleAnswer();
    }
    return true;
}

void ScriptedLine::scheduleAnswer()
{
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
    const Tick due = sinceStart() + m_input.ConsumeIntegralInRange<Tick>(0, longestAnswerDelayMs);
    if (answer != Loss)
        m_deliveries.push_back({due, drawBytes(m_input)});
    if (answer != Bytes)
        m_deliveries.push_back({due + m_input.ConsumeIntegralInRange<Tick>(0, 100), {}, true});
}

std::optional<int> ScriptedLine::inBufferCount()
{
    return m_open ? std::optional(static_cast<int>(m_inbox.size())) : std::nullopt;
}

std::optional<QByteArray> ScriptedLine::input()
{
    if (!m_open)
        return std::nullopt;
    const QByteArray taken = m_inputLen == 0 ? m_inbox : m_inbox.left(m_inputLen);
    m_inbox.remove(0, taken.size());
    return taken;
}

// Each pass moves the clock up to the next delivery, by a drawn step, or by
// the whole wait.
void ScriptedLine::processEvents(std::uint32_t maxWaitMs)
{
    Tick step = std::max<Tick>(maxWaitMs, 1);
    const int how = m_input.ConsumeIntegralInRange(0, 2);
    if (how == 0 && !m_deliveries.empty()) {
        const auto next =
            std::min_element(m_deliveries.begin(), m_deliveries.end(),
                             [](const Delivery& a, const Delivery& b) { return a.due < b.due; });
        step = std::min(step, std::max<Tick>(next->due - sinceStart(), 1));
    } else if (how == 1) {
        step = m_input.ConsumeIntegralInRange<Tick>(1, longestFixedStepMs);
    }
    advance(step);
    if (m_eachPass)
        m_eachPass();
}

void ScriptedLine::advance(Tick ms)
{
    if (++m_passes > passLimit) {
        std::fprintf(stderr, "a wait did not end after %d passes\n", passLimit);
        __builtin_trap();
    }
    m_now += ms;
    const auto due = std::stable_partition(m_deliveries.begin(), m_deliveries.end(),
                                           [&](const Delivery& d) { return d.due > sinceStart(); });
    std::vector<Delivery> arrived(due, m_deliveries.end());
    m_deliveries.erase(due, m_deliveries.end());
    std::stable_sort(arrived.begin(), arrived.end(),
                     [](const Delivery& a, const Delivery& b) { return a.due < b.due; });
    for (const Delivery& delivery : arrived) {
        if (!m_open)
            break;
        if (delivery.losesPort) {
            m_open = false;
            m_error = {PortError::Kind::Lost, deviceName(), QStringLiteral("the device is gone")};
            break;
        }
        m_inbox += delivery.bytes;
        for (const char byte : delivery.bytes)
            m_events.push_back({false, static_cast<std::uint8_t>(byte)});
    }
}

} // namespace qm240lx::fuzz
