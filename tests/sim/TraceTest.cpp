#include "sim/Trace.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

using qm240lx::sim::Trace;
using namespace std::chrono_literals;

namespace {

struct FormatCase
{
    std::chrono::nanoseconds since;
    Trace::Direction direction;
    std::uint8_t byte;
    const char* line;
};

TEST(TraceFormat, OneAlignedLinePerByteThatParsesBack)
{
    const FormatCase cases[] = {
        {12'345'600ns, Trace::Direction::Received, 0xAC, "   12.346 ms  rx AC"},
        {12'400us, Trace::Direction::Sent, 0xFA, "   12.400 ms  tx FA"},
        {0ns, Trace::Direction::Sent, 0x0F, "    0.000 ms  tx 0F"},
        {3'600'000ms, Trace::Direction::Received, 0x00, "3600000.000 ms  rx 00"},
    };
    for (const FormatCase& c : cases) {
        const QString line = Trace::format(c.since, c.direction, c.byte);
        EXPECT_EQ(line, QString::fromLatin1(c.line));

        const std::optional<Trace::Entry> entry = Trace::parse(line);
        ASSERT_TRUE(entry) << c.line;
        EXPECT_EQ(entry->direction, c.direction);
        EXPECT_EQ(entry->byte, c.byte);
        EXPECT_DOUBLE_EQ(entry->milliseconds,
                         QString::fromLatin1(c.line).split(u' ', Qt::SkipEmptyParts)[0].toDouble());
    }
}

TEST(TraceParse, RejectsLinesThatAreNotByteLines)
{
    for (const char* line : {"qm240lx-sim: flash.bin does not exist", "", "   12.345 ms rx AC",
                             "   12.345 ms  rx ac", "   12.3 ms  rx AC", "   12.345 ms  xx AC",
                             "   12.345 ms  rx ACE", "   12.345 ms  tx A", "x  12.345 ms  tx AC"})
        EXPECT_FALSE(Trace::parse(QString::fromLatin1(line))) << line;
}

QByteArray logged(bool enabled)
{
    QTemporaryFile file;
    if (!file.open())
        return "cannot open a temporary file";
    std::FILE* stream = std::fopen(file.fileName().toLocal8Bit().constData(), "w");
    if (!stream)
        return "cannot reopen the temporary file";
    const Trace trace(stream, enabled);
    trace.log(1ms, Trace::Direction::Received, 0xAD);
    trace.log(2ms, Trace::Direction::Sent, 0x03);
    std::fclose(stream);
    return file.readAll();
}

TEST(TraceLog, WritesLinesOnlyWhenEnabled)
{
    EXPECT_EQ(logged(true), QByteArray("    1.000 ms  rx AD\n    2.000 ms  tx 03\n"));
    EXPECT_EQ(logged(false), QByteArray());
}

} // namespace
