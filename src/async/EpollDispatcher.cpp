#include "async/EpollDispatcher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimerEvent>

namespace qm240lx {
namespace {

// The eventfd's mark: a watched descriptor's mark holds its number, which is
// never -1, in its low half.
constexpr std::uint64_t wakeUpMark = ~std::uint64_t{0};
constexpr int mostReadyAtOnce = 256;
constexpr std::uint32_t readEvents = EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR;
constexpr std::uint32_t writeEvents = EPOLLOUT | EPOLLHUP | EPOLLERR;

std::uint64_t markOf(int fd, std::uint32_t life)
{
    return (std::uint64_t{life} << 32) | static_cast<std::uint32_t>(fd);
}

std::uint32_t interestOf(const std::array<QSocketNotifier*, 3>& notifiers)
{
    std::uint32_t events = 0;
    if (notifiers[QSocketNotifier::Read])
        events |= EPOLLIN | EPOLLRDHUP;
    if (notifiers[QSocketNotifier::Write])
        events |= EPOLLOUT;
    if (notifiers[QSocketNotifier::Exception])
        events |= EPOLLPRI;
    return events;
}

void fireTimer(QObject* object, int timerId)
{
    QTimerEvent event(timerId);
    QCoreApplication::sendEvent(object, &event);
}

} // namespace

std::unique_ptr<EpollDispatcher> EpollDispatcher::create()
{
    const int epollFd = epoll_create1(EPOLL_CLOEXEC);
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u64 = wakeUpMark;
    if (epollFd < 0 || wakeFd < 0 || epoll_ctl(epollFd, EPOLL_CTL_ADD, wakeFd, &wake) != 0) {
        for (const int fd : {epollFd, wakeFd}) {
            if (fd >= 0)
                ::close(fd);
        }
        return nullptr;
    }
    return std::unique_ptr<EpollDispatcher>(new EpollDispatcher(epollFd, wakeFd));
}

EpollDispatcher::EpollDispatcher(int epollFd, int wakeFd) : m_epollFd(epollFd), m_wakeFd(wakeFd) {}

EpollDispatcher::~EpollDispatcher()
{
    ::close(m_wakeFd);
    ::close(m_epollFd);
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    m_interrupted = false;
    m_postedMeanwhile = false;
    Q_EMIT awake();
    QCoreApplication::sendPostedEvents();
    if (m_interrupted)
        return false;
    tellEpoll();
    const int timeoutMs = waitMs(flags);
    if (timeoutMs != 0)
        Q_EMIT aboutToBlock();
    std::array<epoll_event, mostReadyAtOnce> ready{};
    const int count = epoll_wait(m_epollFd, ready.data(), mostReadyAtOnce, timeoutMs);
    const bool sockets = !flags.testFlag(QEventLoop::ExcludeSocketNotifiers);
    int activated = 0;
    for (int index = 0; index < count; ++index) {
        if (ready[index].data.u64 == wakeUpMark) {
            drainWakeUps();
            ++activated;
        } else if (sockets) {
            activated += activate(ready[index].data.u64, ready[index].events);
        }
    }
    if (sockets)
        activated += activateAlwaysReady();
    if (!flags.testFlag(QEventLoop::X11ExcludeTimers))
        activated += m_timers.fireDue(TimerQueue::Clock::now(), fireTimer);
    return activated > 0;
}

int EpollDispatcher::waitMs(QEventLoop::ProcessEventsFlags flags) const
{
    if (!flags.testFlag(QEventLoop::WaitForMoreEvents) || m_interrupted || m_postedMeanwhile ||
        !m_alwaysReady.empty())
        return 0;
    if (flags.testFlag(QEventLoop::X11ExcludeTimers))
        return -1;
    return m_timers.msUntilNext(TimerQueue::Clock::now()).value_or(-1);
}

int EpollDispatcher::activate(std::uint64_t mark, std::uint32_t events)
{
    const int fd = static_cast<int>(mark & 0xFFFFFFFFu);
    const auto life = static_cast<std::uint32_t>(mark >> 32);
    int activated = 0;
    if (events & readEvents)
        activated += notify(fd, life, QSocketNotifier::Read);
    if (events & writeEvents)
        activated += notify(fd, life, QSocketNotifier::Write);
    if (events & EPOLLPRI)
        activated += notify(fd, life, QSocketNotifier::Exception);
    return activated;
}

int EpollDispatcher::activateAlwaysReady()
{
    int activated = 0;
    const std::vector<int> alwaysReady = m_alwaysReady;
    for (const int fd : alwaysReady) {
        const auto found = m_watched.find(fd);
        if (found == m_watched.end())
            continue;
        const std::uint32_t life = found->second.life;
        activated += notify(fd, life, QSocketNotifier::Read);
        activated += notify(fd, life, QSocketNotifier::Write);
    }
    return activated;
}

// Looked up anew for each notification: the one before may have removed or
// replaced any notifier.
bool EpollDispatcher::notify(int fd, std::uint32_t life, int type)
{
    const auto found = m_watched.find(fd);
    if (found == m_watched.end() || found->second.life != life)
        return false;
    QSocketNotifier* notifier = found->second.notifiers[static_cast<std::size_t>(type)];
    if (!notifier)
        return false;
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(notifier, &event);
    return true;
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    const auto [place, isNew] = m_watched.try_emplace(fd);
    Watched& watched = place->second;
    if (isNew)
        watched.life = ++m_lives;
    QSocketNotifier*& slot = watched.notifiers[static_cast<std::size_t>(notifier->type())];
    if (slot && slot != notifier)
        qWarning("EpollDispatcher: a second notifier of one type for socket %d", fd);
    slot = notifier;
    markPending(fd, watched);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    const auto found = m_watched.find(fd);
    if (found == m_watched.end())
        return;
    Watched& watched = found->second;
    QSocketNotifier*& slot = watched.notifiers[static_cast<std::size_t>(notifier->type())];
    if (slot != notifier)
        return;
    slot = nullptr;
    if (interestOf(watched.notifiers) == 0)
        watched.life = ++m_lives;
    markPending(fd, watched);
}

void EpollDispatcher::markPending(int fd, Watched& watched)
{
    if (!std::exchange(watched.pending, true))
        m_pending.push_back(fd);
}

void EpollDispatcher::tellEpoll()
{
    for (const int fd : std::exchange(m_pending, {})) {
        const auto found = m_watched.find(fd);
        if (found != m_watched.end()) {
            found->second.pending = false;
            tellEpoll(fd, found->second);
        }
    }
}

// A descriptor closed while watched leaves epoll by itself: its number may
// come back as a new socket, which is then added rather than modified.
void EpollDispatcher::tellEpoll(int fd, Watched& watched)
{
    const std::uint32_t events = interestOf(watched.notifiers);
    if (events == 0) {
        if (watched.toldEvents != 0)
            epoll_ctl(m_epollFd, EPOLL_CTL_DEL, fd, nullptr);
        std::erase(m_alwaysReady, fd);
        m_watched.erase(fd);
        return;
    }
    const std::uint64_t mark = markOf(fd, watched.life);
    if (events == watched.toldEvents && mark == watched.toldMark)
        return;
    epoll_event interest{};
    interest.events = events;
    interest.data.u64 = mark;
    const bool told =
        (watched.toldEvents != 0 && epoll_ctl(m_epollFd, EPOLL_CTL_MOD, fd, &interest) == 0) ||
        epoll_ctl(m_epollFd, EPOLL_CTL_ADD, fd, &interest) == 0;
    if (told) {
        watched.toldEvents = events;
        watched.toldMark = mark;
        return;
    }
    watched.toldEvents = 0;
    if (errno != EPERM)
        qWarning("EpollDispatcher: cannot watch socket %d: %s", fd, strerror(errno));
    else if (std::find(m_alwaysReady.begin(), m_alwaysReady.end(), fd) == m_alwaysReady.end())
        m_alwaysReady.push_back(fd);
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject* object)
{
    m_timers.add(timerId, interval, timerType, object, TimerQueue::Clock::now());
}

bool EpollDispatcher::unregisterTimer(int timerId)
{
    return m_timers.remove(timerId);
}

bool EpollDispatcher::unregisterTimers(QObject* object)
{
    return m_timers.removeAll(object);
}

QList<QAbstractEventDispatcher::TimerInfo> EpollDispatcher::registeredTimers(QObject* object) const
{
    return m_timers.of(object);
}

int EpollDispatcher::remainingTime(int timerId)
{
    return m_timers.remainingMs(timerId, TimerQueue::Clock::now());
}

// Qt wakes the loop for every event posted, mostly from the loop's own
// thread, which is not asleep: it only must not go to sleep before the event
// is delivered, and needs no system call for that.
void EpollDispatcher::wakeUp()
{
    if (QThread::currentThread() == thread()) {
        m_postedMeanwhile = true;
        return;
    }
    if (m_wakeUpPending.exchange(true))
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

void EpollDispatcher::interrupt()
{
    m_interrupted = true;
    wakeUp();
}

void EpollDispatcher::drainWakeUps()
{
    m_wakeUpPending = false;
    std::uint64_t count = 0;
    [[maybe_unused]] const auto taken = ::read(m_wakeFd, &count, sizeof count);
}

} // namespace qm240lx
