#include "sim/Emulator.h"

#include "sim/Notice.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace qm240lx::sim {

namespace {

// How long reading rests after the master reported an error, so that a
// condition that does not clear cannot keep the loop spinning.
constexpr std::chrono::milliseconds readPause{100};

// A start bit, eight data bits and a stop bit.
constexpr long long bitsPerCharacter = 10;

} // namespace

Emulator::Emulator(PtyPort port, Adapter adapter, std::optional<FlashFile> flashFile, Trace trace,
                   std::optional<int> paceBaud, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_adapter(std::move(adapter)),
      m_flashFile(std::move(flashFile)), m_trace(trace),
      m_readNotifier(m_port.masterFd(), QSocketNotifier::Read),
      m_writeNotifier(m_port.masterFd(), QSocketNotifier::Write)
{
    m_clock.start();
    m_writeNotifier.setEnabled(false);
    m_replyTimer.setSingleShot(true);
    m_replyTimer.setTimerType(Qt::PreciseTimer);
    m_resumeTimer.setSingleShot(true);
    m_resumeTimer.setInterval(readPause);
    m_paceTimer.setSingleShot(true);
    m_paceTimer.setTimerType(Qt::PreciseTimer);
    if (paceBaud)
        m_charTime = std::chrono::nanoseconds(bitsPerCharacter * 1'000'000'000LL / *paceBaud);
    connect(&m_readNotifier, &QSocketNotifier::activated, this, &Emulator::readFromHost);
    connect(&m_writeNotifier, &QSocketNotifier::activated, this, &Emulator::flushOutgoing);
    connect(&m_replyTimer, &QTimer::timeout, this, &Emulator::sendDueReplies);
    connect(&m_paceTimer, &QTimer::timeout, this, [this] {
        releaseCrossedBytes();
        flushOutgoing();
    });
    connect(&m_resumeTimer, &QTimer::timeout, this, [this] { m_readNotifier.setEnabled(true); });
}

Adapter::Millis Emulator::now() const
{
    return Adapter::Millis(m_clock.elapsed());
}

std::chrono::nanoseconds Emulator::sinceStart() const
{
    return std::chrono::nanoseconds(m_clock.nsecsElapsed());
}

void Emulator::readFromHost()
{
    std::array<char, 256> buffer{};
    for (;;) {
        const ssize_t count = ::read(m_port.masterFd(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (count <= 0) {
            pauseReading();
            break;
        }
        for (ssize_t index = 0; index < count; ++index) {
            handleByte(static_cast<std::uint8_t>(buffer[static_cast<std::size_t>(index)]));
            if (!m_port.isOpen())
                return;
        }
    }
    sendDueReplies();
}

void Emulator::pauseReading()
{
    m_readNotifier.setEnabled(false);
    m_resumeTimer.start();
}

void Emulator::handleByte(std::uint8_t byte)
{
    m_trace.log(sinceStart(), Trace::Direction::Received, byte);
    Adapter::Outcome outcome = m_adapter.receive(byte, now());
    if (outcome.unplugged) {
        unplug();
        return;
    }
    if (outcome.flashWritten)
        saveFlash();
    if (outcome.reply)
        m_pending.push_back(std::move(*outcome.reply));
}

void Emulator::saveFlash()
{
    if (!m_flashFile)
        return;
    const QString problem = m_flashFile->save(m_adapter.flash());
    if (!problem.isEmpty())
        notice(problem);
}

void Emulator::sendDueReplies()
{
    const Adapter::Millis current = now();
    while (!m_pending.empty() && m_pending.front().due <= current) {
        queueOutgoing(m_pending.front().bytes);
        m_pending.pop_front();
    }
    releaseCrossedBytes();
    flushOutgoing();
    scheduleNextReply();
}

// Paced, each byte takes a character time on the line, after the bytes
// before it.
void Emulator::queueOutgoing(const QByteArray& bytes)
{
    m_outgoing.append(bytes);
    if (!m_charTime) {
        m_released = m_outgoing.size();
        return;
    }
    for (qsizetype index = 0; index < bytes.size(); ++index) {
        m_lineFreeAt = std::max(m_lineFreeAt, sinceStart()) + *m_charTime;
        m_crossedAt.push_back(m_lineFreeAt);
    }
}

void Emulator::releaseCrossedBytes()
{
    const std::chrono::nanoseconds current = sinceStart();
    while (!m_crossedAt.empty() && m_crossedAt.front() <= current) {
        m_crossedAt.pop_front();
        ++m_released;
    }
    if (m_crossedAt.empty())
        return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_crossedAt.front() - current);
    m_paceTimer.start(wait);
}

void Emulator::scheduleNextReply()
{
    if (m_pending.empty()) {
        m_replyTimer.stop();
        return;
    }
    m_replyTimer.start(std::max(m_pending.front().due - now(), Adapter::Millis{0}));
}

void Emulator::flushOutgoing()
{
    while (m_released > 0) {
        const ssize_t count = ::write(m_port.masterFd(), m_outgoing.constData(),
                                      static_cast<std::size_t>(m_released));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host is not reading and the line's buffer is full.
            m_writeNotifier.setEnabled(true);
            return;
        }
        if (count <= 0) {
            notice(QStringLiteral("cannot send %1 bytes to the host").arg(m_released));
            m_outgoing.remove(0, m_released);
            m_released = 0;
            break;
        }
        for (qsizetype index = 0; index < count; ++index)
            m_trace.log(sinceStart(), Trace::Direction::Sent,
                        static_cast<std::uint8_t>(m_outgoing[index]));
        m_outgoing.remove(0, count);
        m_released -= count;
    }
    m_writeNotifier.setEnabled(false);
}

void Emulator::unplug()
{
    m_readNotifier.setEnabled(false);
    m_writeNotifier.setEnabled(false);
    m_replyTimer.stop();
    m_resumeTimer.stop();
    m_paceTimer.stop();
    m_pending.clear();
    m_outgoing.clear();
    m_crossedAt.clear();
    m_released = 0;
    m_port.unplug();
    Q_EMIT unplugged();
}

} // namespace qm240lx::sim
