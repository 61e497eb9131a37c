#include "cli/TracingComm.h"

#include "support/VirtualLine.h"

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// The log's clock reads 1.5 ms more at every line.
TEST(TracingComm, LogsWhatCrossesTheLineAndPassesItOnUnchanged)
{
    test::VirtualLine inner;
    QStringList lines;
    double now = 0;
    TraceLog log([&](const QString& line) { lines << line; }, [&] { return now += 1.5; });
    TracingComm traced(inner, log, QStringLiteral("COM4"));
    traced.setPortOpen(true);

    ASSERT_TRUE(traced.output(hex("ab02")));
    EXPECT_EQ(inner.written(), hex("ab02"));
    inner.arrive(hex("039200 05fa0604"));
    traced.setInputLen(3);
    EXPECT_EQ(traced.input(), hex("039200"));
    traced.discardInput();
    EXPECT_EQ(traced.inBufferCount(), 0);
    EXPECT_EQ(inner.inputLen(), 3);
    EXPECT_EQ(traced.input(), QByteArray());
    traced.setPortOpen(false);
    EXPECT_FALSE(traced.output(hex("ac")));

    EXPECT_EQ(lines, QStringList({"    1.500 ms  COM4 wr AB 02", "    3.000 ms  COM4 rd 03 92 00",
                                  "    4.500 ms  COM4 drop 05 FA 06 04",
                                  "    6.000 ms  COM4 | write of AC failed"}));
}

} // namespace
} // namespace qm240lx
