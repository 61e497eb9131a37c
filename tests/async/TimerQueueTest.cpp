// The timer queue on a clock of its own: the order timers fire in, what
// firing one does to the others, and how long a loop may sleep.
#include "async/TimerQueue.h"

#include <vector>

#include <QObject>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using namespace std::chrono_literals;

const TimerQueue::Time start{};

TEST(TimerQueue, FiresWhatIsDueInOrderOncePerTurnAndTellsHowLongToSleep)
{
    QObject owner;
    TimerQueue timers;
    EXPECT_EQ(timers.msUntilNext(start), std::nullopt);
    timers.add(1, 30, Qt::PreciseTimer, &owner, start);
    timers.add(2, 10, Qt::PreciseTimer, &owner, start);
    timers.add(3, 10, Qt::CoarseTimer, &owner, start);
    timers.add(4, 0, Qt::PreciseTimer, &owner, start);
    std::vector<int> fired;
    const auto record = [&fired](QObject*, int timerId) { fired.push_back(timerId); };

    EXPECT_EQ(timers.fireDue(start + 9ms, record), 1);
    EXPECT_EQ(timers.msUntilNext(start + 9500us), 0) << "the zero timer is due again";
    EXPECT_EQ(timers.fireDue(start + 100ms, record), 4) << "a late turn fires each once";
    EXPECT_EQ(fired, (std::vector<int>{4, 4, 2, 3, 1}));
    timers.remove(4);
    EXPECT_EQ(timers.msUntilNext(start + 100ms + 800us), 10) << "a sleep rounded down wakes early";
    EXPECT_EQ(timers.remainingMs(7, start), -1);
}

TEST(TimerQueue, AFiringRemovesOrRenewsOthersBeforeTheirTurn)
{
    QObject owner;
    TimerQueue timers;
    for (const int timerId : {1, 2, 3})
        timers.add(timerId, 5, Qt::PreciseTimer, &owner, start);
    std::vector<int> fired;
    const int count = timers.fireDue(start + 5ms, [&](QObject*, int timerId) {
        fired.push_back(timerId);
        timers.remove(2);
        timers.add(3, 5, Qt::PreciseTimer, &owner, start + 5ms);
    });
    EXPECT_EQ(count, 1);
    EXPECT_EQ(fired, std::vector<int>{1}) << "a removed or renewed timer fired in the same turn";
    EXPECT_EQ(timers.remainingMs(3, start + 5ms), 5);
}

TEST(TimerQueue, KnowsEachObjectsTimers)
{
    QObject first;
    QObject second;
    TimerQueue timers;
    timers.add(1, 10, Qt::PreciseTimer, &first, start);
    timers.add(2, 20, Qt::VeryCoarseTimer, &second, start);
    timers.add(3, 30, Qt::CoarseTimer, &first, start);
    timers.remove(1);
    const auto listed = timers.of(&first);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed.front().timerId, 3);
    EXPECT_TRUE(timers.removeAll(&first));
    EXPECT_TRUE(timers.of(&first).isEmpty());
    EXPECT_EQ(timers.msUntilNext(start), 20) << "the other object's timer went too";
}

} // namespace
} // namespace qm240lx
