#include "protocol/Exchange.h"

#include "link/ComPorts.h"
#include "support/VirtualLine.h"

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::VirtualLine;

struct Rig
{
    explicit Rig(Tick start = 0) : line(start) { line.openNow(); }
    VirtualLine line;
    Exchange exchange{line, QStringLiteral("COM1"), line, line.tick()};
};

TEST(Exchange, WaitEndsStrictlyAfterTheLimitAndMeasuresAcrossTheWrap)
{
    struct Case
    {
        const char* name;
        Tick start;
        std::optional<Tick> step;
        std::optional<Tick> replyAfter; // from the start of the wait
        WaitEnd end;
        int passes;
    };
    const Case cases[] = {
        {"1 ms passes: 2000 goes on, 2001 ends", 0, 1, {}, WaitEnd::Timeout, 2001},
        {"same across the tick wrap", 0xFFFFFC00u, 1, {}, WaitEnd::Timeout, 2001},
        {"a pass exactly at the limit still waits", 0, 1000, {}, WaitEnd::Timeout, 3},
        {"sleeping waits wake once past the limit", 0, {}, {}, WaitEnd::Timeout, 1},
        {"a reply at exactly 2000 ms is read", 0, {}, 2000, WaitEnd::Data, 1},
        {"a reply found after the yield is read though the limit passed in it", 0, 1500, 2500,
         WaitEnd::Data, 2},
        {"a reply after the limit is not awaited", 0, 1000, 3500, WaitEnd::Timeout, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.start);
        rig.line.setStep(c.step);
        if (c.replyAfter)
            rig.line.arriveAfter(*c.replyAfter, QByteArray(1, char(0xFA)));
        int shown = 0;
        EXPECT_EQ(rig.line.run(rig.exchange.waitForReply(1, 2000, [&] { ++shown; })), c.end);
        EXPECT_EQ(rig.line.passes(), c.passes);
        EXPECT_EQ(shown, c.end == WaitEnd::Timeout ? c.passes + 1 : c.passes);
    }
}

TEST(Exchange, TheTimeTestComesBeforeTheCount)
{
    Rig rig;
    rig.line.setStep(1000);
    int pass = 0;
    // The reply lands at the start of the pass whose time test finds 3000 ms.
    const auto eachPass = [&] {
        if (++pass == 4)
            rig.line.arrive(QByteArray::fromHex("fa"));
    };
    EXPECT_EQ(rig.line.run(rig.exchange.waitForReply(1, 2000, eachPass)), WaitEnd::Timeout);
    EXPECT_EQ(rig.line.waiting(), 1);
}

// A reply that comes after its command gave up is let in and dropped before
// the next command writes, however late within the horizon it comes.
TEST(Exchange, AfterASilentWaitTheNextCommandWaitsOutALateReply)
{
    struct Case
    {
        const char* name;
        std::optional<Tick> lateReplyAt; // from the start of the first wait
        bool firstAnswered;
        Tick writesAt;         // when the next command can write
        bool reopened = false; // the port closed and opened between the commands
    };
    const Case cases[] = {
        // Each then waits for the quiet gap.
        {"a late reply inside the horizon is dropped", 3900, false, 4001 + serialQuietGapMs},
        {"silence waits out the horizon", {}, false, 4001 + serialQuietGapMs},
        {"an answered wait leaves nothing to wait out", 500, true, 500 + serialQuietGapMs},
        {"a new port session owes the old one nothing", {}, false, 1001 + serialQuietGapMs, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        if (c.lateReplyAt)
            rig.line.arriveAfter(*c.lateReplyAt, QByteArray::fromHex("fa"));
        const WaitEnd first = rig.line.run(rig.exchange.waitForReply(1, 1000));
        EXPECT_EQ(first == WaitEnd::Data, c.firstAnswered);
        if (c.reopened) {
            rig.exchange.closePort();
            EXPECT_TRUE(rig.line.run(rig.exchange.openPort()));
        }
        rig.line.run(rig.exchange.quietLine(3000));
        EXPECT_EQ(rig.line.now(), c.writesAt);
        EXPECT_EQ(rig.line.waiting(), 0);
        EXPECT_EQ(rig.line.run(rig.exchange.waitForReply(1, 1000)), WaitEnd::Timeout)
            << "nothing taken";
    }
}

// The wait under way ends at its next pass, every later wait at once, and
// nothing more is written.
TEST(Exchange, AnAbortEndsTheWaitUnderWayAndEveryLaterOne)
{
    Rig rig;
    Task<WaitEnd> waiting = rig.exchange.waitForReply(1, 2000);
    rig.exchange.abort();
    EXPECT_EQ(rig.line.run(std::move(waiting)), WaitEnd::Aborted);
    rig.line.run(rig.exchange.settle(200));
    EXPECT_EQ(rig.line.run(rig.exchange.waitForReply(1, 2000)), WaitEnd::Aborted);
    EXPECT_EQ(rig.line.now(), 0u);
    EXPECT_FALSE(rig.exchange.writeByte(0xAC));
    EXPECT_EQ(rig.line.bytesWritten(), 0);
}

TEST(ExchangeDeathTest, ASecondWaitWhileOneWaitsStopsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Rig rig;
    const Task<WaitEnd> first = rig.exchange.waitForReply(1, 2000);
    EXPECT_DEATH((void)rig.exchange.waitForReply(1, 2000), "a second wait on the exchange");
}

// ComPorts destroys the port before it makes the next one; the sanitizers
// catch any touch of the first port after the change.
TEST(Exchange, GoesOnWithAnotherPortWithoutTouchingTheOneLetGo)
{
    VirtualLine clock;
    ComPorts ports(PortMaker(PortOptions{}, clock, clock.tick()),
                   [](const QString&) { return std::optional<QString>("/dev/null"); });
    Exchange exchange(ports.portFor(1), QStringLiteral("COM1"), clock, clock.tick());
    Port& second = ports.portFor(2);
    exchange.usePort(second, QStringLiteral("COM2"));
    EXPECT_EQ(&exchange.port(), &second);
    EXPECT_EQ(exchange.portName(), "COM2");
}

} // namespace
} // namespace qm240lx
