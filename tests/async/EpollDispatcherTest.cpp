// The epoll event loop under Qt's own objects, each test on a thread whose
// loop it is: socket notifiers, timers, posted events and a wake-up from
// another thread, counted rather than timed.
#include "async/EpollDispatcher.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSemaphore>
#include <QSocketNotifier>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

constexpr int patienceMs = 30000;

// A connected pair of local sockets, closed with it.
struct SocketPair
{
    SocketPair()
    {
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends.data()),
                  0);
    }
    ~SocketPair()
    {
        for (const int end : ends)
            ::close(end);
    }
    SocketPair(const SocketPair&) = delete;
    SocketPair& operator=(const SocketPair&) = delete;

    void send() const { ASSERT_EQ(::write(ends[1], "x", 1), 1); }
    void take() const
    {
        char byte = 0;
        ASSERT_EQ(::read(ends[0], &byte, 1), 1);
    }
    std::array<int, 2> ends{-1, -1};
};

// Runs `body` on a thread of its own whose event loop is an EpollDispatcher.
void onEpollThread(const std::function<void()>& body)
{
    std::unique_ptr<EpollDispatcher> dispatcher = EpollDispatcher::create();
    ASSERT_NE(dispatcher, nullptr);
    const std::unique_ptr<QThread> thread(QThread::create(body));
    thread->setEventDispatcher(dispatcher.release());
    thread->start();
    ASSERT_TRUE(thread->wait(QDeadlineTimer(patienceMs)));
}

// Ends `loop` when it has run for patienceMs: a test that fails does not hang.
void giveUpLater(QEventLoop& loop)
{
    QTimer::singleShot(patienceMs, &loop, [&loop] { loop.exit(1); });
}

TEST(EpollDispatcher, ActivatesEachOfHundredsOfReadySocketsOnceForItsByte)
{
    onEpollThread([] {
        constexpr int sockets = 400; // two descriptors each, within the usual 1,024
        std::vector<std::unique_ptr<SocketPair>> pairs;
        std::vector<std::unique_ptr<QSocketNotifier>> notifiers;
        std::vector<int> activations(sockets, 0);
        QEventLoop loop;
        int taken = 0;
        for (int index = 0; index < sockets; ++index) {
            pairs.push_back(std::make_unique<SocketPair>());
            pairs.back()->send();
            notifiers.push_back(
                std::make_unique<QSocketNotifier>(pairs.back()->ends[0], QSocketNotifier::Read));
            notifiers.back()->setEnabled(index % 2 == 1); // the others come back below
            QObject::connect(notifiers.back().get(), &QSocketNotifier::activated, [&, index] {
                ++activations[index];
                pairs[index]->take();
                if (++taken == sockets)
                    loop.quit();
            });
        }
        QTimer::singleShot(0, [&] {
            for (int index = 0; index < sockets; index += 2)
                notifiers[index]->setEnabled(true);
        });
        giveUpLater(loop);
        EXPECT_EQ(loop.exec(), 0);
        EXPECT_EQ(std::count(activations.begin(), activations.end(), 1), sockets);
    });
}

TEST(EpollDispatcher, ANotifierOrTimerRemovedByAnEarlierOneIsNotActivated)
{
    onEpollThread([] {
        SocketPair first;
        SocketPair second;
        QSocketNotifier firstNotifier(first.ends[0], QSocketNotifier::Read);
        auto secondNotifier =
            std::make_unique<QSocketNotifier>(second.ends[0], QSocketNotifier::Read);
        QTimer firstTimer;
        QTimer secondTimer;
        int late = 0;
        QEventLoop loop;
        QObject::connect(&firstNotifier, &QSocketNotifier::activated, [&] {
            first.take();
            secondNotifier.reset();
            // Its socket is ready too and was handed over in the same turn.
        });
        QObject::connect(secondNotifier.get(), &QSocketNotifier::activated, [&] { ++late; });
        QObject::connect(&firstTimer, &QTimer::timeout, [&] {
            secondTimer.stop();
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
        });
        QObject::connect(&secondTimer, &QTimer::timeout, [&] { ++late; });
        first.send();
        second.send();
        firstTimer.start(0);
        secondTimer.start(0);
        giveUpLater(loop);
        EXPECT_EQ(loop.exec(), 0);
        EXPECT_EQ(late, 0);
    });
}

TEST(EpollDispatcher, ANotifierOnARegularFileCountsAsReady)
{
    onEpollThread([] {
        QTemporaryFile file;
        ASSERT_TRUE(file.open());
        QSocketNotifier notifier(file.handle(), QSocketNotifier::Read);
        QEventLoop loop;
        int activations = 0;
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            if (++activations == 3)
                loop.quit();
        });
        giveUpLater(loop);
        EXPECT_EQ(loop.exec(), 0);
    });
}

TEST(EpollDispatcher, AnEventPostedFromAnotherThreadWakesASleepingLoop)
{
    std::unique_ptr<EpollDispatcher> dispatcher = EpollDispatcher::create();
    ASSERT_NE(dispatcher, nullptr);
    QSemaphore asleep;
    QObject::connect(
        dispatcher.get(), &QAbstractEventDispatcher::aboutToBlock, dispatcher.get(),
        [&asleep] { asleep.release(); }, Qt::DirectConnection);
    QThread thread;
    thread.setEventDispatcher(dispatcher.release());
    QObject receiver;
    receiver.moveToThread(&thread);
    thread.start();
    ASSERT_TRUE(asleep.tryAcquire(1, patienceMs));
    int ran = 0;
    QMetaObject::invokeMethod(
        &receiver,
        [&ran] {
            ++ran;
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    EXPECT_TRUE(thread.wait(QDeadlineTimer(patienceMs)));
    EXPECT_EQ(ran, 1);
}

} // namespace
} // namespace qm240lx
