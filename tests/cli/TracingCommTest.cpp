#include "cli/TracingComm.h"

#include "support/FakeClock.h"
#include "support/FakeComm.h"

#include <functional>
#include <ostream>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

// The traced port with a log whose clock reads 1.5 ms more at every line.
struct TracedPort
{
    test::FakeClock clock;
    test::FakeComm inner{clock};
    QStringList lines;
    double now = 0;
    TraceLog log{[this](const QString& line) { lines << line; }, [this] { return now += 1.5; }};
    TracingComm traced{inner, log, QStringLiteral("COM4")};

    TracedPort() { traced.setPortOpen(true); }
};

struct TraceCase
{
    const char* name;
    std::function<void(TracingComm&, test::FakeComm&)> act;
    QStringList expected;
};

void PrintTo(const TraceCase& c, std::ostream* out)
{
    *out << c.name;
}

class Tracing : public testing::TestWithParam<TraceCase>
{
};

TEST_P(Tracing, LogsWhatCrossesTheLine)
{
    TracedPort port;
    GetParam().act(port.traced, port.inner);
    EXPECT_EQ(port.lines, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, Tracing,
    testing::Values(
        TraceCase{"write",
                  [](TracingComm& comm, test::FakeComm&) { comm.output(bytes({0xAE})); },
                  {"    1.500 ms  COM4 wr AE"}},
        TraceCase{"readTakesTheReadLength",
                  [](TracingComm& comm, test::FakeComm& inner) {
                      inner.receiveNow(bytes({0x03, 0x92, 0x00, 0xFA}));
                      comm.setInputLen(3);
                      comm.input();
                  },
                  {"    1.500 ms  COM4 rd 03 92 00"}},
        TraceCase{
            "emptyReadLogsNothing", [](TracingComm& comm, test::FakeComm&) { comm.input(); }, {}},
        TraceCase{"discardShowsWhatItDrops",
                  [](TracingComm& comm, test::FakeComm& inner) {
                      inner.receiveNow(bytes({0x05, 0xFA, 0x06}));
                      comm.setInputLen(1);
                      comm.discardInput();
                  },
                  {"    1.500 ms  COM4 drop 05 FA 06"}},
        TraceCase{"failedWriteIsNotShownAsWritten",
                  [](TracingComm& comm, test::FakeComm&) {
                      comm.setPortOpen(false);
                      comm.output(bytes({0xAC}));
                  },
                  {"    1.500 ms  COM4 | write of AC failed"}},
        TraceCase{"sequence",
                  [](TracingComm& comm, test::FakeComm& inner) {
                      comm.output(bytes({0xAC}));
                      inner.receiveNow(bytes({0xFA}));
                      comm.setInputLen(1);
                      comm.input();
                  },
                  {"    1.500 ms  COM4 wr AC", "    3.000 ms  COM4 rd FA"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TracingComm, DiscardLeavesNothingWaitingAndTheReadLengthAsItWas)
{
    TracedPort port;
    port.inner.receiveNow(bytes({0x01, 0x02, 0x03, 0x04}));
    port.traced.setInputLen(3);
    port.traced.discardInput();
    EXPECT_EQ(port.traced.inBufferCount(), 0);
    EXPECT_EQ(port.inner.inputLen(), 3);
}

TEST(TracingComm, PassesBytesThroughUnchanged)
{
    TracedPort port;
    ASSERT_TRUE(port.traced.output(bytes({0xAB, 0x02})));
    EXPECT_EQ(port.inner.written(), bytes({0xAB, 0x02}));
    port.inner.receiveNow(bytes({0xFA, 0x00}));
    port.traced.setInputLen(2);
    EXPECT_EQ(port.traced.input(), bytes({0xFA, 0x00}));
}

TEST(TraceLog, LeavesOutATextThatRepeatsThePortsLastOne)
{
    QStringList lines;
    TraceLog log([&](const QString& line) { lines << line; }, [] { return 12345.6789; });
    log.text(QStringLiteral("COM1"), QStringLiteral("Searching......"));
    log.text(QStringLiteral("COM1"), QStringLiteral("Searching......"));
    log.text(QStringLiteral("COM2"), QStringLiteral("Searching......"));
    log.text(QStringLiteral("COM1"),
             QStringLiteral("Success to change QM240LX setting.\r\nThis "
                            "setting will be used until QM240LX POWER OFF."));
    log.text(QStringLiteral("COM1"), QStringLiteral("Searching......"));
    EXPECT_EQ(
        lines,
        QStringList({"12345.679 ms  COM1 | Searching......", "12345.679 ms  COM2 | Searching......",
                     "12345.679 ms  COM1 | Success to change QM240LX setting. / This setting "
                     "will be used until QM240LX POWER OFF.",
                     "12345.679 ms  COM1 | Searching......"}));
}

} // namespace
} // namespace qm240lx
