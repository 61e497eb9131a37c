// The built qm240lx against the emulator's hostile adapter: whatever the
// adapter does, the tool exits with a documented code, claims success only on
// what the line shows, and writes only opcodes and the byte the user chose.
#include "CliProcess.h"
#include "protocol/Opcodes.h"
#include "support/SimProcess.h"

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using Entry = sim::Trace::Entry;
using sim::Trace;

// What the adapter sent between the host's last `byte` and its next write.
QByteArray answerToLast(const std::vector<Entry>& entries, std::uint8_t byte)
{
    QByteArray answer;
    bool listening = false;
    for (const Entry& entry : entries) {
        if (entry.direction == Trace::Direction::Received) {
            listening = entry.byte == byte;
            if (listening)
                answer.clear();
        } else if (listening) {
            answer.append(static_cast<char>(entry.byte));
        }
    }
    return answer;
}

TEST(HostileCli, SetAndSaveClaimOnlyWhatTheLineShows)
{
    bool ok = false;
    int seeds = qEnvironmentVariableIntValue("QM240LX_CLI_CHAOS_SEEDS", &ok);
    seeds = ok ? seeds : 4;
    for (int seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE(seed);
        test::SimProcess sim;
        ASSERT_TRUE(sim.start({"--chaos", QString::number(seed)}));
        const auto run = test::CliProcess::run({"--port", "7", "set", "--baud", "57600", "--save"},
                                               {{7, sim.devicePath()}});
        ASSERT_FALSE(run.crashed);
        EXPECT_TRUE(QList<int>({0, 69, 74, 76}).contains(run.exitCode)) << run.exitCode;
        sim.stop();

        const QByteArray written = sim.received();
        for (qsizetype i = 0; i < written.size(); ++i) {
            const auto byte = static_cast<std::uint8_t>(written[i]);
            if (i > 0 && static_cast<std::uint8_t>(written[i - 1]) == opcode::setHByte)
                EXPECT_EQ(byte & ~0x18, 0x06) << "value byte " << int(byte);
            else
                EXPECT_TRUE(byte == opcode::probe || byte == opcode::readConfiguration ||
                            byte == opcode::setHByte || byte == opcode::saveToFlash)
                    << "byte " << int(byte);
        }
        if (run.exitCode == 0) {
            const auto entries = sim.traceEntries();
            const QByteArray readBack = answerToLast(entries, opcode::readConfiguration);
            ASSERT_GE(readBack.size(), 3);
            EXPECT_EQ(readBack[0] & 0x07, 0x06);
            EXPECT_TRUE(answerToLast(entries, opcode::saveToFlash).startsWith('\xFA'));
        }
    }
}

} // namespace
} // namespace qm240lx
