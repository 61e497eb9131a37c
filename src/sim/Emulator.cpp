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

} // namespace

Emulator::Emulator(PtyPort port, Adapter adapter, std::optional<FlashFile> flashFile, Trace trace,
                   QObject* parent)
    : QObject(parent), port_(std::move(port)), adapter_(std::move(adapter)),
      flashFile_(std::move(flashFile)), trace_(trace),
      readNotifier_(port_.masterFd(), QSocketNotifier::Read),
      writeNotifier_(port_.masterFd(), QSocketNotifier::Write)
{
    clock_.start();
    writeNotifier_.setEnabled(false);
    replyTimer_.setSingleShot(true);
    replyTimer_.setTimerType(Qt::PreciseTimer);
    resumeTimer_.setSingleShot(true);
    resumeTimer_.setInterval(readPause);
    connect(&readNotifier_, &QSocketNotifier::activated, this, &Emulator::readFromHost);
    connect(&writeNotifier_, &QSocketNotifier::activated, this, &Emulator::flushOutgoing);
    connect(&replyTimer_, &QTimer::timeout, this, &Emulator::sendDueReplies);
    connect(&resumeTimer_, &QTimer::timeout, this, [this] { readNotifier_.setEnabled(true); });
}

Adapter::Millis Emulator::now() const
{
    return Adapter::Millis(clock_.elapsed());
}

std::chrono::nanoseconds Emulator::sinceStart() const
{
    return std::chrono::nanoseconds(clock_.nsecsElapsed());
}

void Emulator::readFromHost()
{
    std::array<char, 256> buffer{};
    for (;;) {
        const ssize_t count = ::read(port_.masterFd(), buffer.data(), buffer.size());
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
            if (!port_.isOpen())
                return;
        }
    }
    sendDueReplies();
}

void Emulator::pauseReading()
{
    readNotifier_.setEnabled(false);
    resumeTimer_.start();
}

void Emulator::handleByte(std::uint8_t byte)
{
    trace_.log(sinceStart(), Trace::Direction::Received, byte);
    Adapter::Outcome outcome = adapter_.receive(byte, now());
    if (outcome.unplugged) {
        unplug();
        return;
    }
    if (outcome.flashWritten)
        saveFlash();
    if (outcome.reply)
        pending_.push_back(std::move(*outcome.reply));
}

void Emulator::saveFlash()
{
    if (!flashFile_)
        return;
    const QString problem = flashFile_->save(adapter_.flash());
    if (!problem.isEmpty())
        notice(problem);
}

void Emulator::sendDueReplies()
{
    const Adapter::Millis current = now();
    while (!pending_.empty() && pending_.front().due <= current) {
        outgoing_.append(pending_.front().bytes);
        pending_.pop_front();
    }
    flushOutgoing();
    scheduleNextReply();
}

void Emulator::scheduleNextReply()
{
    if (pending_.empty()) {
        replyTimer_.stop();
        return;
    }
    replyTimer_.start(std::max(pending_.front().due - now(), Adapter::Millis{0}));
}

void Emulator::flushOutgoing()
{
    while (!outgoing_.isEmpty()) {
        const ssize_t count = ::write(port_.masterFd(), outgoing_.constData(),
                                      static_cast<std::size_t>(outgoing_.size()));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The host is not reading and the line's buffer is full.
            writeNotifier_.setEnabled(true);
            return;
        }
        if (count <= 0) {
            notice(QStringLiteral("cannot send %1 bytes to the host").arg(outgoing_.size()));
            outgoing_.clear();
            break;
        }
        for (qsizetype index = 0; index < count; ++index)
            trace_.log(sinceStart(), Trace::Direction::Sent,
                       static_cast<std::uint8_t>(outgoing_[index]));
        outgoing_.remove(0, count);
    }
    writeNotifier_.setEnabled(false);
}

void Emulator::unplug()
{
    readNotifier_.setEnabled(false);
    writeNotifier_.setEnabled(false);
    replyTimer_.stop();
    resumeTimer_.stop();
    pending_.clear();
    outgoing_.clear();
    port_.unplug();
    Q_EMIT unplugged();
}

} // namespace qm240lx::sim
