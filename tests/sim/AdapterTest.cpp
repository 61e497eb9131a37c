#include "sim/Adapter.h"

#include "sim/Chaos.h"
#include "sim/Options.h"

#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

using namespace qm240lx::sim;
using namespace std::chrono_literals;

namespace {

const Configuration factory{0x03, 0x92, 0x00};

std::string hex(const QByteArray& bytes)
{
    return bytes.toHex().toStdString();
}

std::variant<Options, QString> parse(const QStringList& arguments)
{
    return Options::parse(QStringList{QStringLiteral("qm240lx-sim")} + arguments);
}

// Faults as the emulator's command line gives them, words split at blanks.
Faults faultsFrom(const char* arguments)
{
    return std::get<Options>(parse(QString::fromLatin1(arguments).split(u' ', Qt::SkipEmptyParts)))
        .faults;
}

// Feeds every byte at the same moment: the replies, joined, in hex, with "+"
// where the flash was written and "!" where the adapter left the line.
std::string feed(Adapter& adapter, const char* input)
{
    std::string outcomes;
    for (const char byte : QByteArray::fromHex(input)) {
        const Adapter::Outcome outcome = adapter.receive(static_cast<std::uint8_t>(byte), 0ms);
        outcomes += hex(outcome.reply.value_or(Adapter::Reply{}).bytes) +
                    (outcome.flashWritten ? "+" : "") + (outcome.unplugged ? "!" : "");
    }
    return outcomes;
}

TEST(AdapterExchange, AnswersAndKeepsTheConfiguration)
{
    // The configuration in use and in flash afterwards.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"", "ac", "fa", "039200", "039200"},
        {"", "ad", "039200", "039200", "039200"},
        {"", "ae06aa63ab02", "fafafa", "066302", "039200"},
        {"", "aee3ad", "fae39200", "e39200", "039200"},
        {"", "aeacaaaf", "fafa", "acaf00", "039200"},      // values that look like opcodes
        {"", "ae06afab01", "fafa+fa", "069201", "069200"}, // a setting after a save stays volatile
        {"", "00fab0a955ac", "fa", "039200", "039200"},    // stray bytes are ignored
        {"--silent AC", "acad", "039200", "039200", "039200"},
        {"--silent all", "ae06afacad", "+", "069200", "069200"}, // silent, yet it takes effect
        {"--reject 2", "ae01aa02ae06", "eeeefa", "069200", "039200"},
        {"--reject 1", "acafab01ab02", "fafa+eefa", "039202", "039200"},
        {"--reject 1 --reject-ops 0xAF --reject-byte 0", "ae06afaf", "fa00fa+", "069200", "069200"},
        {"--reject 1 --silent ae", "ae06", "", "039200", "039200"},
        {"--probe-answer 0", "acae06", "00fa", "069200", "039200"},
        {"--short-readback", "adac", "0392fa", "039200", "039200"},
        {"--stray-bits 0x24", "ae06ad", "fa26b624", "069200", "039200"}, // reported, not held
        {"--extra 2", "acad", "fafafa039200fafa", "039200", "039200"},
        {"--extra 1 --extra-byte 0x55 --extra-ops ab,ad", "acad", "fa03920055", "039200", "039200"},
        {"--silent ac --extra 3", "ac", "", "039200", "039200"},
        // The fourth byte is not acted on; value bytes count; once gone, the adapter stays silent.
        {"--unplug-after 4", "acae06afac", "fafa!", "069200", "039200"},
    };
    for (const auto& [faults, input, outcomes, configuration, flash] : cases) {
        SCOPED_TRACE(std::string(faults) + " / " + input);
        Adapter adapter(factory, faultsFrom(faults));
        EXPECT_EQ(feed(adapter, input), outcomes);
        EXPECT_EQ(hex(adapter.configuration().toBytes()), configuration);
        EXPECT_EQ(hex(adapter.flash().toBytes()), flash);
        EXPECT_EQ(adapter.isUnplugged(), std::string(outcomes).ends_with('!'));
    }
    EXPECT_EQ(hex(Adapter({0x01, 0x02, 0x03}).configuration().toBytes()), "010203")
        << "powers on from flash";
}

// Byte n arrives at n * 100 ms; a reply never overtakes the one before it.
TEST(AdapterExchange, RepliesFallDueInTheOrderOfTheirCommands)
{
    const std::tuple<const char*, const char*, std::vector<int>> cases[] = {
        {"", "acad", {0, 100}},
        {"--delay 150", "acad", {150, 250}},
        {"--delay 150", "ae06", {250}},
        {"--delay 150 --delay-ops af", "acafad", {0, 250, 250}}};
    for (const auto& [faults, input, expected] : cases) {
        Adapter adapter(factory, faultsFrom(faults));
        std::vector<int> due;
        const QByteArray bytes = QByteArray::fromHex(input);
        for (qsizetype index = 0; index < bytes.size(); ++index) {
            if (const auto reply = adapter.receive(std::uint8_t(bytes[index]), index * 100ms).reply)
                due.push_back(static_cast<int>(reply->due.count()));
        }
        EXPECT_EQ(due, expected) << faults;
    }
}

using Kind = Chaos::Kind;

struct Command
{
    std::uint8_t opcode;
    std::uint8_t value;
};

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
        Chaos::Choice choice;
        while (
            (choice = Chaos({seed, Chaos::defaultRate}).next(command.opcode, command.value)).kind !=
            kind)
            ASSERT_LT(++seed, 10'000u);
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
