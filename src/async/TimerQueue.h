#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <QAbstractEventDispatcher>

namespace qm240lx {

// The timers of one event loop, ordered by when each is due, so that finding
// the next one, adding, removing and firing one cost O(log timers) however
// many there are. Time is given by the caller: the queue reads no clock.
// Every timer is kept to the millisecond, whatever its type asks.
class TimerQueue
{
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;
    using Fire = std::function<void(QObject* object, int timerId)>;

    void add(int timerId, qint64 intervalMs, Qt::TimerType type, QObject* object, Time now);
    bool remove(int timerId);
    bool removeAll(QObject* object);
    QList<QAbstractEventDispatcher::TimerInfo> of(QObject* object) const;
    // -1 for a timer that is not in the queue.
    int remainingMs(int timerId, Time now) const;
    // Whole milliseconds until the first timer is due, rounded up so that a
    // wait of that long never ends before it; nothing when there is none.
    std::optional<int> msUntilNext(Time now) const;
    // Fires every timer due at `now`, each at most once, in the order they
    // are due, and sets each again for its next interval first. A timer the
    // firing of another removes is not fired; nor is one whose firing is
    // still under way. Returns how many were fired.
    int fireDue(Time now, const Fire& fire);

    bool empty() const { return m_timers.empty(); }

private:
    struct Timer
    {
        std::chrono::milliseconds interval;
        Qt::TimerType type;
        QObject* object;
        Time due;
        std::uint64_t turn; // tells timers due at once apart, first set first
        bool firing = false;
    };
    using Place = std::tuple<Time, std::uint64_t, int>;

    void schedule(int timerId, Timer& timer, Time due);
    void unlink(QObject* object, int timerId);
    static Place placeOf(int timerId, const Timer& timer)
    {
        return {timer.due, timer.turn, timerId};
    }

    std::unordered_map<int, Timer> m_timers;
    std::set<Place> m_order;
    std::unordered_map<QObject*, std::vector<int>> m_byObject;
    std::uint64_t m_turns = 0;
};

} // namespace qm240lx
