#include "sim/TerminationSignals.h"

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace qm240lx::sim {

namespace {

sigset_t terminationSet()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

void TerminationSignals::block()
{
    const sigset_t set = terminationSet();
    ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    const sigset_t set = terminationSet();
    m_fd.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!m_fd.isValid())
        return;
    m_notifier.emplace(m_fd.get(), QSocketNotifier::Read);
    connect(&*m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

void TerminationSignals::readPending()
{
    signalfd_siginfo info{};
    while (::read(m_fd.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        Q_EMIT received(static_cast<int>(info.ssi_signo));
}

} // namespace qm240lx::sim
