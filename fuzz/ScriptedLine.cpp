#include "ScriptedLine.h"

#include <algorithm>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>

namespace qm240lx::fuzz {

namespace {

constexpr Tick longestAnswerDelayMs = 4500;
constexpr Tick longestFixedStepMs = 1500;
constexpr Tick longestIdleMs = 6000;
constexpr int mostAnswerBytes = 5;
constexpr int mostStrayDeliveries = 2;

bool isUploadOpcode(std::uint8_t byte)
{
    return byte == 0xAA || byte == 0xAB || byte == 0xAE;
}

QByteArray drawBytes(FuzzedDataProvider& input, int most)
{
    const auto count = input.ConsumeIntegralInRange<std::size_t>(1, static_cast<std::size_t>(most));
    const std::vector<char> bytes = input.ConsumeBytes<char>(count);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

ScriptedLine::ScriptedLine(FuzzedDataProvider& input, Tick start)
    : m_input(input), m_start(start), m_now(start)
{}

void ScriptedLine::idle()
{
    const Tick gap = m_input.ConsumeIntegralInRange<Tick>(0, longestIdleMs);
    const int strays = m_input.ConsumeIntegralInRange(0, mostStrayDeliveries);
    for (int stray = 0; stray < strays; ++stray) {
        const Tick due = sinceStart() + m_input.ConsumeIntegralInRange<Tick>(0, gap + 3000);
        m_deliveries.push_back({due, drawBytes(m_input, mostAnswerBytes)});
    }
    advance(gap);
}

bool ScriptedLine::setPortOpen(bool open)
{
    m_open = open;
    m_inbox.clear();
    m_error = {};
    return true;
}

bool ScriptedLine::output(const QByteArray& bytes)
{
    if (!m_open)
        return false;
    for (const char byte : bytes)
        onByteWritten(static_cast<std::uint8_t>(byte));
    return true;
}

// Value bytes after an upload opcode draw no answer of their own: the
// opcode's answer stands for the pair.
void ScriptedLine::onByteWritten(std::uint8_t byte)
{
    m_written.push_back({m_order++, byte});
    if (m_expectValueByte) {
        m_expectValueByte = false;
        return;
    }
    m_expectValueByte = isUploadOpcode(byte);
    scheduleAnswer();
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
        m_deliveries.push_back({due, drawBytes(m_input, mostAnswerBytes)});
    if (answer != Bytes)
        m_deliveries.push_back({due + m_input.ConsumeIntegralInRange<Tick>(0, 100), {}, true});
}

std::optional<int> ScriptedLine::inBufferCount()
{
    if (!m_open)
        return std::nullopt;
    return static_cast<int>(m_inbox.size());
}

std::optional<QByteArray> ScriptedLine::input()
{
    if (!m_open)
        return std::nullopt;
    const QByteArray taken = m_inputLen == 0 ? m_inbox : m_inbox.left(m_inputLen);
    m_inbox.remove(0, taken.size());
    return taken;
}

void ScriptedLine::discardInput()
{
    m_inbox.clear();
}

QString ScriptedLine::deviceName() const
{
    return QStringLiteral("/dev/scripted%1").arg(m_port);
}

void ScriptedLine::processEvents(std::uint32_t maxWaitMs)
{
    enum Step
    {
        UntilSomethingHappens,
        Fixed,
        WholeWait,
    };
    Tick step = std::max<Tick>(maxWaitMs, 1);
    switch (m_input.ConsumeIntegralInRange(0, 2)) {
    case UntilSomethingHappens:
        if (const auto next = untilNextDelivery())
            step = std::min(step, *next);
        break;
    case Fixed:
        step = m_input.ConsumeIntegralInRange<Tick>(1, longestFixedStepMs);
        break;
    default:
        break;
    }
    advance(step);
    if (m_eachPass)
        m_eachPass();
}

void ScriptedLine::pause(std::uint32_t ms)
{
    advance(ms);
}

void ScriptedLine::advance(Tick ms)
{
    if (++m_passes > passLimit) {
        std::fprintf(stderr, "a wait did not end after %d passes\n", passLimit);
        __builtin_trap();
    }
    m_now += ms;
    deliverDue();
}

void ScriptedLine::deliverDue()
{
    const Tick now = sinceStart();
    const auto due = std::stable_partition(m_deliveries.begin(), m_deliveries.end(),
                                           [&](const Delivery& d) { return d.due > now; });
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
            m_delivered.push_back({m_order++, static_cast<std::uint8_t>(byte)});
    }
}

std::optional<Tick> ScriptedLine::untilNextDelivery() const
{
    std::optional<Tick> next;
    for (const Delivery& delivery : m_deliveries)
        next = std::min(next.value_or(delivery.due), delivery.due);
    if (!next)
        return std::nullopt;
    return std::max<Tick>(*next - sinceStart(), 1);
}

} // namespace qm240lx::fuzz
