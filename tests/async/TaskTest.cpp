// The coroutine core on its own: how a task ends, resumes its awaiter, is let
// go while it waits, and stops the program when misused; how a Wakeup and the
// alarm resume a waiting task.
#include "async/Task.h"

#include "async/QtAlarm.h"
#include "async/Wakeup.h"

#include <functional>
#include <vector>

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// Counts itself in `live` while it lives.
struct Held
{
    explicit Held(int& live) : count(live) { ++count; }
    ~Held() { --count; }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    int& count;
};

Task<int> valueAfterNews(Wakeup& news, int& live, int value)
{
    const Held held(live);
    co_await news;
    co_return value;
}

Task<int> valueNow(int value)
{
    co_return value;
}

Task<int> doubled(Task<int> inner)
{
    const int value = co_await inner;
    co_return 2 * value;
}

Task<int> awaited(Task<int>& inner)
{
    co_return co_await inner;
}

TEST(Task, AnEndedAwaiteeDoesNotSuspendAndAWaitingOneResumesItsAwaiter)
{
    Wakeup news;
    int live = 0;
    Task<int> atOnce = doubled(valueNow(21));
    EXPECT_TRUE(atOnce.done()) << "suspended on a task that had ended";
    EXPECT_EQ(atOnce.result(), 42);

    Task<int> later = doubled(valueAfterNews(news, live, 4));
    news.wake();
    EXPECT_FALSE(later.done()) << "resumed inside wake()";
    QCoreApplication::processEvents();
    ASSERT_TRUE(later.done());
    EXPECT_EQ(later.result(), 8);
    EXPECT_EQ(live, 0);
}

// A task let go while it waits is not resumed by the news, which is kept for
// the next wait, and for one wait only.
TEST(Task, LetGoWhileWaitingReleasesWhatItHoldsAndLeavesTheNews)
{
    Wakeup news;
    int live = 0;
    {
        const Task<int> outer = doubled(valueAfterNews(news, live, 1));
        EXPECT_EQ(live, 1);
    }
    EXPECT_EQ(live, 0);
    news.wake();
    QCoreApplication::processEvents();
    const Task<int> kept = valueAfterNews(news, live, 1);
    EXPECT_TRUE(kept.done()) << "the news was lost";
    const Task<int> next = valueAfterNews(news, live, 1);
    EXPECT_FALSE(next.done()) << "the news was used twice";
}

TEST(TaskDeathTest, AMisuseStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char*, std::function<void()>> misuses[] = {
        {"a task's result taken twice",
         [] {
             Task<int> task = valueNow(1);
             (void)task.result();
             (void)task.result();
         }},
        {"a task's result taken twice",
         [] {
             Task<int> task = valueNow(1);
             const Task<int> first = awaited(task);
             const Task<int> second = awaited(task);
         }},
        {"a task awaited twice at once",
         [] {
             Wakeup news;
             int live = 0;
             Task<int> task = valueAfterNews(news, live, 1);
             const Task<int> first = awaited(task);
             const Task<int> second = awaited(task);
         }},
        {"the result of a task that has not ended",
         [] {
             Wakeup news;
             int live = 0;
             (void)valueAfterNews(news, live, 1).result();
         }},
    };
    for (const auto& [message, misuse] : misuses)
        EXPECT_DEATH(misuse(), message);
}

// A new setting replaces the one before, a ring may set the alarm again, and
// a cancelled alarm never rings.
TEST(QtAlarm, RingsTheLastSettingOnceAndNeverWhenCancelled)
{
    QtAlarm alarm;
    QtAlarm cancelled;
    std::vector<int> rings;
    cancelled.set(0, [&] { rings.push_back(0); });
    cancelled.cancel();
    alarm.set(0, [&] { rings.push_back(1); });
    alarm.set(1, [&] {
        rings.push_back(2);
        alarm.set(0, [&] { rings.push_back(3); });
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return rings.size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(rings, (std::vector<int>{2, 3}));
}

} // namespace
} // namespace qm240lx
