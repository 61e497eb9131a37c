#include "async/TerminationSignals.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qm240lx {

namespace {

constexpr std::array handledSignals{SIGINT, SIGTERM, SIGHUP};

// Shared with the handler, hence plain atomics and nothing that allocates.
std::atomic<int> notifyFd{-1};
volatile std::sig_atomic_t firstSignal = 0;

extern "C" void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (firstSignal == 0)
        firstSignal = signalNumber;
    const int fd = notifyFd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a wake-up; the signal itself is recorded.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(m_pipe.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
        m_pipe = {-1, -1};
        return;
    }
    m_notifier.emplace(m_pipe[0], QSocketNotifier::Read);
    connect(&*m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
    firstSignal = 0;
    notifyFd.store(m_pipe[1]);
    install();
}

TerminationSignals::~TerminationSignals()
{
    if (!isWatching())
        return;
    for (std::size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &m_previous[i], nullptr);
    notifyFd.store(-1);
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

// SA_RESTART keeps the rest of the program free of interrupted system calls;
// the event loop's poll returns at once all the same.
void TerminationSignals::install()
{
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : handledSignals)
        sigaddset(&action.sa_mask, signal);
    for (std::size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &action, &m_previous[i]);
}

std::optional<int> TerminationSignals::received() const
{
    const int signal = firstSignal;
    if (signal == 0)
        return std::nullopt;
    return signal;
}

int TerminationSignals::exitStatus(int otherwise) const
{
    const std::optional<int> signal = received();
    return signal ? 128 + *signal : otherwise;
}

void TerminationSignals::readPending()
{
    unsigned char signal = 0;
    while (::read(m_pipe[0], &signal, 1) == 1)
        Q_EMIT caught(signal);
}

TerminationSignals::Unwatched::Unwatched(const TerminationSignals& signals) : m_signals(signals)
{
    if (!m_signals.isWatching())
        return;
    for (std::size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &m_signals.m_previous[i], &m_ours[i]);
}

TerminationSignals::Unwatched::~Unwatched()
{
    if (!m_signals.isWatching())
        return;
    for (std::size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &m_ours[i], nullptr);
}

} // namespace qm240lx
