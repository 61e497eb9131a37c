#include "protocol/Exchange.h"

#include "async/Misuse.h"
#include "protocol/Opcodes.h"

#include <algorithm>
#include <utility>

namespace qm240lx {

// The point where a command waits; a command abandoned there is never
// resumed.
class Exchange::Suspension
{
public:
    // One command waits at a time: a second would leave the first never
    // resumed.
    Suspension(Exchange& exchange, Tick ms, int count)
        : m_exchange(exchange), m_ms(ms), m_count(count)
    {
        if (m_exchange.m_suspended)
            stopOnMisuse("a second wait on the exchange while one waits");
    }
    Suspension(const Suspension&) = delete;
    Suspension& operator=(const Suspension&) = delete;
    ~Suspension()
    {
        m_exchange.m_suspended = {};
        m_exchange.m_awaitedCount = 0;
        m_exchange.m_alarm.cancel();
    }

    bool await_ready()
    {
        return m_exchange.m_aborted || (m_count > 0 && m_exchange.enoughWaiting(m_count));
    }
    void await_suspend(std::coroutine_handle<> command)
    {
        m_exchange.m_suspended = command;
        m_exchange.m_awaitedCount = m_count;
        m_exchange.m_alarm.set(m_ms, [this] { m_exchange.resume(); });
    }
    void await_resume() {}

private:
    Exchange& m_exchange;
    Tick m_ms;
    int m_count;
};

Answer answerBefore(LineQuiet quiet)
{
    switch (quiet) {
    case LineQuiet::KeepsSending:
        return Answer::KeepsSending;
    case LineQuiet::Aborted:
        return Answer::Aborted;
    case LineQuiet::Quiet:
    case LineQuiet::PortFailed:
        break;
    }
    return Answer::PortFailed;
}

Exchange::Exchange(Port& port, QString portName, Alarm& alarm, TickSource tick)
    : m_port(&port), m_portName(std::move(portName)), m_alarm(alarm), m_tick(std::move(tick))
{
    m_port->setNewsHandler([this] { onNews(); });
}

Exchange::~Exchange()
{
    m_port->setNewsHandler({});
    m_alarm.cancel();
}

void Exchange::usePort(Port& port, QString portName)
{
    m_port = &port;
    m_portName = std::move(portName);
    m_port->setNewsHandler([this] { onNews(); });
}

Exchange::Command::Command(Exchange& exchange) : m_exchange(exchange)
{
    ++m_exchange.m_commandDepth;
}

Exchange::Command::~Command()
{
    --m_exchange.m_commandDepth;
}

// An opening under way ends with the port closed.
void Exchange::abort()
{
    m_aborted = true;
    if (m_suspended)
        m_alarm.set(0, [this] { resume(); });
    if (m_opening)
        closePort();
}

Task<bool> Exchange::openPort()
{
    m_unansweredSince.reset();
    m_opening = true;
    bool open = false;
    if (!m_aborted)
        open = co_await m_port->open();
    m_opening = false;
    m_unansweredSince.reset();
    co_return open;
}

// Every port closes at once: its closing does not wait.
void Exchange::closePort()
{
    const Task<> closing = m_port->close();
    m_unansweredSince.reset();
}

Exchange::Suspension Exchange::nextPass(Tick ms, int count)
{
    return Suspension(*this, ms, count);
}

bool Exchange::enoughWaiting(int count)
{
    const std::optional<int> waiting = m_port->waiting();
    return !waiting || *waiting >= count;
}

void Exchange::onNews()
{
    if (m_suspended && m_awaitedCount > 0 && enoughWaiting(m_awaitedCount))
        resume();
}

void Exchange::resume()
{
    if (const std::coroutine_handle<> command = std::exchange(m_suspended, {}))
        command.resume();
}

Task<LineQuiet> Exchange::quietLine(Tick limitMs)
{
    if (!m_port->isOpen())
        co_return LineQuiet::PortFailed;
    co_await waitOutLateReply();
    const Tick gap = m_port->quietGapMs();
    const Tick start = m_tick();
    Tick lastArrival = start;
    m_port->discard();
    for (;;) {
        if (m_aborted)
            co_return LineQuiet::Aborted;
        const Tick now = m_tick();
        const Tick silent = elapsedMs(now, lastArrival);
        if (silent >= gap)
            co_return LineQuiet::Quiet;
        const Tick elapsed = elapsedMs(now, start);
        if (isPastLimit(elapsed, limitMs))
            co_return LineQuiet::KeepsSending;
        co_await nextPass(std::min<Tick>(gap - silent, limitMs - elapsed + 1), 1);
        const std::optional<int> waiting = m_port->waiting();
        if (!waiting)
            co_return LineQuiet::PortFailed;
        if (*waiting > 0) {
            m_port->discard();
            lastArrival = m_tick();
        }
    }
}

Task<bool> Exchange::moreFollows()
{
    const Tick gap = m_port->quietGapMs();
    const Tick start = m_tick();
    for (;;) {
        const std::optional<int> waiting = m_port->waiting();
        if (!waiting)
            co_return false;
        if (*waiting > 0)
            co_return true;
        const Tick elapsed = elapsedMs(m_tick(), start);
        if (elapsed >= gap || m_aborted)
            co_return false;
        co_await nextPass(gap - elapsed, 1);
    }
}

Task<> Exchange::waitOutLateReply()
{
    const std::optional<Tick> since = std::exchange(m_unansweredSince, std::nullopt);
    if (!since)
        co_return;
    for (;;) {
        const Tick elapsed = elapsedMs(m_tick(), *since);
        if (m_aborted || isPastLimit(elapsed, lateReplyHorizonMs))
            co_return;
        co_await nextPass(lateReplyHorizonMs - elapsed + 1, 1);
        if (!m_port->waiting())
            co_return;
        m_port->discard();
    }
}

Task<> Exchange::settle(Tick ms)
{
    const Tick start = m_tick();
    for (Tick elapsed = 0; !isPastLimit(elapsed, ms) && !m_aborted;
         elapsed = elapsedMs(m_tick(), start))
        co_await nextPass(ms - elapsed + 1, 0);
}

bool Exchange::writeByte(std::uint8_t byte)
{
    // Once the program is closing, a command under way sends nothing more.
    if (m_aborted || !m_port->isOpen())
        return false;
    return m_port->write(QByteArray(1, static_cast<char>(byte)));
}

Task<WaitEnd> Exchange::waitForReply(int count, Tick limitMs, std::function<void()> eachPass)
{
    m_replyLength = count;
    const Tick start = m_tick();
    for (;;) {
        if (m_aborted)
            co_return WaitEnd::Aborted;
        if (eachPass)
            eachPass();
        const Tick elapsed = elapsedMs(m_tick(), start);
        if (isPastLimit(elapsed, limitMs)) {
            m_unansweredSince = start;
            co_return WaitEnd::Timeout;
        }
        co_await nextPass(limitMs - elapsed + 1, count);
        if (m_aborted)
            co_return WaitEnd::Aborted;
        const auto waiting = m_port->waiting();
        if (!waiting)
            co_return WaitEnd::PortFailed;
        if (*waiting >= count)
            co_return WaitEnd::Data;
    }
}

std::optional<QByteArray> Exchange::readReply()
{
    return m_port->take(m_replyLength);
}

Task<Answer> Exchange::awaitAnswer(Tick limitMs, std::function<void()> eachPass)
{
    const WaitEnd end = co_await waitForReply(1, limitMs, std::move(eachPass));
    switch (end) {
    case WaitEnd::Timeout:
        co_return Answer::Silence;
    case WaitEnd::PortFailed:
        co_return Answer::PortFailed;
    case WaitEnd::Aborted:
        co_return Answer::Aborted;
    case WaitEnd::Data:
        break;
    }
    const auto reply = readReply();
    if (!reply)
        co_return Answer::PortFailed;
    if (!reply->isEmpty() && static_cast<std::uint8_t>(reply->at(0)) == opcode::ready)
        co_return Answer::Acknowledged;
    co_return Answer::Other;
}

} // namespace qm240lx
