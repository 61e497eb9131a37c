#pragma once

#include "async/TimerQueue.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include <QAbstractEventDispatcher>

class QSocketNotifier;

namespace qm240lx {

// An event loop whose cost per turn grows with what happened, not with what
// is watched: the kernel keeps the set of watched sockets (epoll) and hands
// back only the ready ones, and timers wait in a queue ordered by when they
// are due. Qt's own dispatchers hand the kernel every watched socket on every
// turn and keep timers in a list, so a command on ten thousand ports would
// pay for all of them on each of its tens of thousands of turns.
//
// Posted events, timers and socket notifiers behave as with Qt's dispatchers;
// a notifier on a file that epoll cannot watch (a regular file) counts as
// always ready, as poll() has it.
class EpollDispatcher : public QAbstractEventDispatcher
{
public:
    // Nothing when the kernel gives no epoll or eventfd descriptor.
    static std::unique_ptr<EpollDispatcher> create();
    ~EpollDispatcher() override;
    EpollDispatcher(const EpollDispatcher&) = delete;
    EpollDispatcher& operator=(const EpollDispatcher&) = delete;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;

private:
    // The notifiers of one descriptor, by QSocketNotifier::Type. `life`
    // changes whenever the descriptor loses its last notifier, so that
    // readiness reported for an earlier socket of the same number reaches no
    // notifier. What epoll is told waits until the loop is about to sleep: a
    // write notifier enabled and disabled again within one turn, as a socket
    // does for each write, costs no system call.
    struct Watched
    {
        std::array<QSocketNotifier*, 3> notifiers{};
        std::uint32_t life = 0;
        std::uint64_t toldMark = 0;
        std::uint32_t toldEvents = 0; // 0: not in epoll
        bool pending = false;
    };

    EpollDispatcher(int epollFd, int wakeFd);
    int waitMs(QEventLoop::ProcessEventsFlags flags) const;
    int activate(std::uint64_t data, std::uint32_t events);
    int activateAlwaysReady();
    bool notify(int fd, std::uint32_t life, int type);
    void markPending(int fd, Watched& watched);
    void tellEpoll();
    void tellEpoll(int fd, Watched& watched);
    void drainWakeUps();

    int m_epollFd;
    int m_wakeFd;
    std::atomic<bool> m_wakeUpPending{false};
    bool m_postedMeanwhile = false; // by the loop's own thread, which is awake
    std::atomic<bool> m_interrupted{false};
    std::unordered_map<int, Watched> m_watched;
    std::vector<int> m_pending;
    std::vector<int> m_alwaysReady;
    std::uint32_t m_lives = 0;
    TimerQueue m_timers;
};

} // namespace qm240lx
