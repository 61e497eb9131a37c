#include "async/TimerQueue.h"

#include <algorithm>
#include <limits>

namespace qm240lx {
namespace {

int wholeMsUntil(TimerQueue::Time due, TimerQueue::Time now)
{
    if (due <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::min<std::int64_t>(ms, std::numeric_limits<int>::max()));
}

} // namespace

void TimerQueue::add(int timerId, qint64 intervalMs, Qt::TimerType type, QObject* object, Time now)
{
    remove(timerId);
    const std::chrono::milliseconds interval(std::max<qint64>(intervalMs, 0));
    Timer& timer = m_timers.emplace(timerId, Timer{interval, type, object, now, 0}).first->second;
    schedule(timerId, timer, now + interval);
    m_byObject[object].push_back(timerId);
}

bool TimerQueue::remove(int timerId)
{
    const auto found = m_timers.find(timerId);
    if (found == m_timers.end())
        return false;
    m_order.erase(placeOf(timerId, found->second));
    unlink(found->second.object, timerId);
    m_timers.erase(found);
    return true;
}

bool TimerQueue::removeAll(QObject* object)
{
    const auto found = m_byObject.find(object);
    if (found == m_byObject.end())
        return false;
    for (const int timerId : found->second) {
        const auto timer = m_timers.find(timerId);
        m_order.erase(placeOf(timerId, timer->second));
        m_timers.erase(timer);
    }
    m_byObject.erase(found);
    return true;
}

QList<QAbstractEventDispatcher::TimerInfo> TimerQueue::of(QObject* object) const
{
    QList<QAbstractEventDispatcher::TimerInfo> timers;
    const auto found = m_byObject.find(object);
    if (found == m_byObject.end())
        return timers;
    for (const int timerId : found->second) {
        const Timer& timer = m_timers.at(timerId);
        timers.append({timerId, static_cast<int>(timer.interval.count()), timer.type});
    }
    return timers;
}

int TimerQueue::remainingMs(int timerId, Time now) const
{
    const auto found = m_timers.find(timerId);
    return found == m_timers.end() ? -1 : wholeMsUntil(found->second.due, now);
}

std::optional<int> TimerQueue::msUntilNext(Time now) const
{
    if (m_order.empty())
        return std::nullopt;
    return wholeMsUntil(std::get<Time>(*m_order.begin()), now);
}

int TimerQueue::fireDue(Time now, const Fire& fire)
{
    std::vector<std::pair<int, std::uint64_t>> due;
    for (auto place = m_order.begin(); place != m_order.end() && std::get<Time>(*place) <= now;
         ++place)
        due.emplace_back(std::get<int>(*place), std::get<std::uint64_t>(*place));
    int fired = 0;
    for (const auto& [timerId, turn] : due) {
        const auto found = m_timers.find(timerId);
        if (found == m_timers.end() || found->second.turn != turn || found->second.firing)
            continue;
        Timer& timer = found->second;
        m_order.erase(placeOf(timerId, timer));
        const Time next = timer.due + timer.interval;
        schedule(timerId, timer, next > now ? next : now + timer.interval);
        timer.firing = true;
        fire(timer.object, timerId);
        ++fired;
        if (const auto still = m_timers.find(timerId); still != m_timers.end())
            still->second.firing = false;
    }
    return fired;
}

void TimerQueue::schedule(int timerId, Timer& timer, Time due)
{
    timer.due = due;
    timer.turn = ++m_turns;
    m_order.insert(placeOf(timerId, timer));
}

void TimerQueue::unlink(QObject* object, int timerId)
{
    const auto found = m_byObject.find(object);
    if (found == m_byObject.end())
        return;
    std::erase(found->second, timerId);
    if (found->second.empty())
        m_byObject.erase(found);
}

} // namespace qm240lx
