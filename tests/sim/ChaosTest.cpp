#include "sim/Chaos.h"

#include "sim/Adapter.h"

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

using namespace qm240lx::sim;
using namespace std::chrono_literals;

namespace {

using Kind = Chaos::Kind;

struct Command
{
    std::uint8_t opcode;
    std::uint8_t value;
};

const std::vector<Command> session = {{opcode::probe, 0},       {opcode::readConfiguration, 0},
                                      {opcode::setHByte, 0x06}, {opcode::setDByte, 0x92},
                                      {opcode::setPByte, 0x01}, {opcode::saveToFlash, 0}};

const Configuration factory{0x03, 0x92, 0x00};

Chaos::Choice firstChoice(std::uint32_t seed, Command command, double rate = Chaos::defaultRate)
{
    return Chaos({seed, rate}).next(command.opcode, command.value);
}

// Only the read-back's answer has bytes to cut short. Delays run from well
// inside the host's longest limit (3 s) to beyond it.
TEST(ChaosDraw, EveryMisbehaviourOccursWithDetailsInTheirRanges)
{
    std::set<std::chrono::milliseconds> delays;
    std::set<int> keptCounts;
    std::set<qsizetype> extraCounts;
    for (const Command& command : session) {
        const bool readBack = command.opcode == opcode::readConfiguration;
        std::set<Kind> seen;
        for (std::uint32_t seed = 0; seed < 1000; ++seed) {
            const Chaos::Choice choice = firstChoice(seed, command);
            seen.insert(choice.kind);
            delays.insert(choice.delay);
            keptCounts.insert(choice.kept);
            if (choice.kind == Kind::WrongByte) {
                ASSERT_EQ(choice.bytes.size(), readBack ? 3 : 1);
                EXPECT_TRUE(readBack || choice.bytes[0] != char(opcode::ready));
            } else if (choice.kind == Kind::Extra) {
                extraCounts.insert(choice.bytes.size());
            } else {
                EXPECT_TRUE(choice.bytes.isEmpty()) << Chaos::name(choice.kind);
            }
        }
        EXPECT_EQ(seen.size(), Chaos::kindCount - (readBack ? 0 : 1)) << int{command.opcode};
        EXPECT_EQ(seen.count(Kind::Partial), readBack ? 1u : 0u) << int{command.opcode};
    }
    delays.erase(0ms);
    EXPECT_GE(*delays.begin(), Chaos::shortestDelay);
    EXPECT_LT(*delays.begin(), 3000ms);
    EXPECT_GT(*delays.rbegin(), 3000ms);
    EXPECT_LE(*delays.rbegin(), Chaos::longestDelay);
    EXPECT_EQ(keptCounts, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(extraCounts, (std::set<qsizetype>{1, 2, 3}));
}

// The reply as a hex string, "none" for silence.
std::string expectedReply(Command command, const Chaos::Choice& choice)
{
    const QByteArray proper = command.opcode == opcode::readConfiguration
                                  ? factory.toBytes()
                                  : QByteArray(1, char(opcode::ready));
    if (choice.kind == Kind::Silent || choice.kind == Kind::Unplug)
        return "none";
    const QByteArray reply = choice.kind == Kind::WrongByte ? choice.bytes
                             : choice.kind == Kind::Partial ? proper.first(choice.kept)
                             : choice.kind == Kind::Extra   ? proper + choice.bytes
                                                            : proper;
    return reply.toHex().toStdString();
}

TEST(AdapterChaos, EachMisbehaviourAnswersAndActsAsDrawn)
{
    const Configuration h06{0x06, 0x92, 0x00};
    const Command setH{opcode::setHByte, 0x06};
    const Command readBack{opcode::readConfiguration, 0};
    const Command save{opcode::saveToFlash, 0};
    const std::tuple<Command, Kind, Configuration, bool> cases[] = {
        {setH, Kind::Correct, h06, false},
        {setH, Kind::WrongByte, factory, false}, // taken as a rejection
        {setH, Kind::Late, h06, false},
        {setH, Kind::Silent, h06, false},
        {setH, Kind::Unplug, factory, false},
        {{opcode::probe, 0}, Kind::Extra, factory, false},
        {readBack, Kind::Partial, factory, false},
        {readBack, Kind::WrongByte, factory, false},
        {save, Kind::WrongByte, factory, false},
        {save, Kind::Silent, factory, true},
    };
    for (const auto& [command, kind, after, flashWritten] : cases) {
        SCOPED_TRACE(std::string(Chaos::name(kind)) + " to " + std::to_string(command.opcode));
        std::uint32_t seed = 0; // the first whose first command draws `kind`
        while (firstChoice(seed, command).kind != kind)
            ASSERT_LT(++seed, 10'000u);
        const Chaos::Choice choice = firstChoice(seed, command);
        Faults faults;
        faults.chaos = Chaos::Settings{seed, Chaos::defaultRate};
        Adapter adapter(factory, faults);

        Adapter::Outcome outcome = adapter.receive(command.opcode, 1000ms);
        if (opcode::takesValue(command.opcode))
            outcome = adapter.receive(command.value, 1000ms);

        EXPECT_EQ(outcome.reply ? outcome.reply->bytes.toHex().toStdString() : "none",
                  expectedReply(command, choice));
        if (outcome.reply) {
            EXPECT_EQ(outcome.reply->due, 1000ms + choice.delay);
        }
        EXPECT_EQ(adapter.configuration(), after);
        EXPECT_EQ(outcome.flashWritten, flashWritten);
        EXPECT_EQ(outcome.unplugged, kind == Kind::Unplug);
        EXPECT_EQ(adapter.isUnplugged(), kind == Kind::Unplug);
    }
}

} // namespace
