#include "sim/Chaos.h"

#include "sim/Adapter.h"
#include "sim/Options.h"

#include <functional>
#include <set>
#include <variant>
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

const std::vector<Command> session = {
    {opcode::Probe, 0},       {opcode::ReadConfiguration, 0}, {opcode::SetHByte, 0x06},
    {opcode::SetDByte, 0x92}, {opcode::SetPByte, 0x01},       {opcode::SaveToFlash, 0},
};

std::vector<Chaos::Choice> draw(Chaos::Settings settings, const std::vector<Command>& commands,
                                int rounds = 1)
{
    Chaos chaos(settings);
    std::vector<Chaos::Choice> choices;
    for (int round = 0; round < rounds; ++round) {
        for (const Command& command : commands)
            choices.push_back(chaos.next(command.opcode, command.value));
    }
    return choices;
}

Chaos::Choice firstChoice(std::uint32_t seed, Command command, double rate = Chaos::defaultRate)
{
    return draw({seed, rate}, {command}).front();
}

// The first seed whose first command of this kind draws `kind`.
std::optional<std::uint32_t> seedFor(Command command, Kind kind)
{
    for (std::uint32_t seed = 0; seed < 10'000; ++seed) {
        if (firstChoice(seed, command).kind == kind)
            return seed;
    }
    return std::nullopt;
}

TEST(ChaosDraw, SameSeedAndBytesReplayTheSameChoices)
{
    for (const std::uint32_t seed : {0u, 1u, 42u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(seed);
        const auto first = draw({seed, 0.8}, session, 5);
        EXPECT_EQ(first, draw({seed, 0.8}, session, 5));
        EXPECT_NE(first, draw({seed + 1, 0.8}, session, 5));
    }
}

TEST(ChaosDraw, ChoiceFollowsTheCommandsBytesAndNumber)
{
    int changedByValue = 0;
    int changedByNumber = 0;
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        const Chaos::Settings settings{seed, 1.0};
        if (draw(settings, {{opcode::SetHByte, 0x06}}) !=
            draw(settings, {{opcode::SetHByte, 0x07}}))
            ++changedByValue;
        const auto twice = draw(settings, {{opcode::Probe, 0}, {opcode::Probe, 0}});
        if (twice[0] != twice[1])
            ++changedByNumber;
    }
    EXPECT_GT(changedByValue, 100);
    EXPECT_GT(changedByNumber, 100);
}

TEST(ChaosDraw, EveryMisbehaviourOccursAcrossSeeds)
{
    const std::set<Kind> oneByteAnswers = {Kind::Correct, Kind::WrongByte, Kind::Late,
                                           Kind::Extra,   Kind::Silent,    Kind::Unplug};
    std::set<Kind> readBackAnswers = oneByteAnswers;
    readBackAnswers.insert(Kind::Partial);
    for (const Command& command : session) {
        SCOPED_TRACE(command.opcode);
        std::set<Kind> seen;
        for (std::uint32_t seed = 0; seed < 1000; ++seed)
            seen.insert(firstChoice(seed, command).kind);
        EXPECT_EQ(seen,
                  command.opcode == opcode::ReadConfiguration ? readBackAnswers : oneByteAnswers);
    }
}

TEST(ChaosDraw, RateSetsTheShareOfMisbehaviour)
{
    struct Case
    {
        double rate;
        int fewestCorrect;
        int mostCorrect;
    };
    const Case cases[] = {{0.0, 1000, 1000}, {1.0, 0, 0}, {0.5, 420, 580}, {0.1, 860, 940}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        int correct = 0;
        for (std::uint32_t seed = 0; seed < 1000; ++seed)
            correct += firstChoice(seed, {opcode::Probe, 0}, c.rate).kind == Kind::Correct;
        EXPECT_GE(correct, c.fewestCorrect);
        EXPECT_LE(correct, c.mostCorrect);
    }
}

TEST(ChaosDraw, DetailsStayInTheirRanges)
{
    bool lateWithinLimit = false;
    bool lateBeyondLimit = false;
    std::set<int> keptCounts;
    std::set<qsizetype> extraCounts;
    for (std::uint32_t seed = 0; seed < 3000; ++seed) {
        for (const Command& command :
             {Command{opcode::SetPByte, 1}, Command{opcode::ReadConfiguration, 0}}) {
            const Chaos::Choice choice = firstChoice(seed, command, 1.0);
            const bool readBack = command.opcode == opcode::ReadConfiguration;
            switch (choice.kind) {
            case Kind::WrongByte:
                ASSERT_EQ(choice.bytes.size(), readBack ? 3 : 1);
                if (!readBack) {
                    EXPECT_NE(static_cast<std::uint8_t>(choice.bytes[0]), opcode::Acknowledge);
                }
                break;
            case Kind::Late:
                ASSERT_GE(choice.delay, Chaos::shortestDelay);
                ASSERT_LE(choice.delay, Chaos::longestDelay);
                lateWithinLimit |= choice.delay < 3000ms;
                lateBeyondLimit |= choice.delay > 3000ms;
                break;
            case Kind::Partial:
                keptCounts.insert(choice.kept);
                break;
            case Kind::Extra:
                extraCounts.insert(choice.bytes.size());
                break;
            default:
                EXPECT_TRUE(choice.bytes.isEmpty());
            }
        }
    }
    EXPECT_TRUE(lateWithinLimit);
    EXPECT_TRUE(lateBeyondLimit);
    EXPECT_EQ(keptCounts, (std::set<int>{1, 2}));
    EXPECT_EQ(extraCounts, (std::set<qsizetype>{1, 2, 3}));
}

// --- the adapter under chaos ---

const Configuration factory{0x03, 0x92, 0x00};

struct AdapterCase
{
    const char* name;
    Command command;
    Kind kind;
    // The reply expected, given the choice the seed draws.
    std::function<std::optional<QByteArray>(const Chaos::Choice&)> reply;
    Configuration configuration;
    bool flashWritten;
    bool unplugged;
};

QByteArray one(std::uint8_t byte)
{
    return QByteArray(1, static_cast<char>(byte));
}

const auto acknowledged = [](const Chaos::Choice&) { return std::optional(one(0xFA)); };
const auto nothing = [](const Chaos::Choice&) { return std::optional<QByteArray>(); };

TEST(AdapterChaos, EachMisbehaviourAnswersAndActsAsDrawn)
{
    const Configuration h06{0x06, 0x92, 0x00};
    const AdapterCase cases[] = {
        {"correct upload",
         {opcode::SetHByte, 0x06},
         Kind::Correct,
         acknowledged,
         h06,
         false,
         false},
        {"wrong byte rejects the upload",
         {opcode::SetHByte, 0x06},
         Kind::WrongByte,
         [](const Chaos::Choice& c) { return std::optional(c.bytes); },
         factory,
         false,
         false},
        {"late upload takes effect",
         {opcode::SetHByte, 0x06},
         Kind::Late,
         acknowledged,
         h06,
         false,
         false},
        {"extra bytes follow the answer",
         {opcode::Probe, 0},
         Kind::Extra,
         [](const Chaos::Choice& c) { return std::optional(one(0xFA) + c.bytes); },
         factory,
         false,
         false},
        {"silent upload takes effect",
         {opcode::SetHByte, 0x06},
         Kind::Silent,
         nothing,
         h06,
         false,
         false},
        {"unplug leaves the upload undone",
         {opcode::SetHByte, 0x06},
         Kind::Unplug,
         nothing,
         factory,
         false,
         true},
        {"partial read-back",
         {opcode::ReadConfiguration, 0},
         Kind::Partial,
         [](const Chaos::Choice& c) { return std::optional(factory.toBytes().first(c.kept)); },
         factory,
         false,
         false},
        {"wrong read-back is noise",
         {opcode::ReadConfiguration, 0},
         Kind::WrongByte,
         [](const Chaos::Choice& c) { return std::optional(c.bytes); },
         factory,
         false,
         false},
        {"wrong byte to a save keeps the flash",
         {opcode::SaveToFlash, 0},
         Kind::WrongByte,
         [](const Chaos::Choice& c) { return std::optional(c.bytes); },
         factory,
         false,
         false},
        {"silent save still saves",
         {opcode::SaveToFlash, 0},
         Kind::Silent,
         nothing,
         factory,
         true,
         false},
    };
    for (const AdapterCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<std::uint32_t> seed = seedFor(c.command, c.kind);
        ASSERT_TRUE(seed);
        const Chaos::Choice choice = firstChoice(*seed, c.command);
        Faults faults;
        faults.chaos = Chaos::Settings{*seed, Chaos::defaultRate};
        Adapter adapter(factory, faults);

        Adapter::Outcome outcome = adapter.receive(c.command.opcode, 1000ms);
        if (opcode::takesValue(c.command.opcode))
            outcome = adapter.receive(c.command.value, 1000ms);

        const std::optional<QByteArray> expected = c.reply(choice);
        ASSERT_EQ(outcome.reply.has_value(), expected.has_value());
        if (expected) {
            EXPECT_EQ(outcome.reply->bytes.toHex(' '), expected->toHex(' '));
            EXPECT_EQ(outcome.reply->due, 1000ms + choice.delay);
        }
        EXPECT_EQ(adapter.configuration(), c.configuration);
        EXPECT_EQ(outcome.flashWritten, c.flashWritten);
        EXPECT_EQ(outcome.unplugged, c.unplugged);
        EXPECT_EQ(adapter.isUnplugged(), c.unplugged);
    }
}

TEST(AdapterChaos, ZeroRateIsAHealthyAdapter)
{
    Faults faults;
    faults.chaos = Chaos::Settings{7, 0.0};
    Adapter chaotic(factory, faults);
    Adapter healthy(factory);
    const QByteArray input = QByteArray::fromHex("acadae06aa63ab02afadac");
    for (char byte : input) {
        const auto a = chaotic.receive(static_cast<std::uint8_t>(byte), 5ms);
        const auto b = healthy.receive(static_cast<std::uint8_t>(byte), 5ms);
        ASSERT_EQ(a.reply.has_value(), b.reply.has_value());
        if (a.reply) {
            EXPECT_EQ(a.reply->bytes, b.reply->bytes);
            EXPECT_EQ(a.reply->due, b.reply->due);
        }
        EXPECT_EQ(a.flashWritten, b.flashWritten);
    }
    EXPECT_EQ(chaotic.configuration(), healthy.configuration());
    EXPECT_EQ(chaotic.flash(), healthy.flash());
}

// --- the command line ---

TEST(ChaosOptions, SeedAndRate)
{
    struct Case
    {
        QStringList arguments;
        std::optional<Chaos::Settings> chaos;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{"--chaos", "7"}, Chaos::Settings{7, Chaos::defaultRate}},
        {{"--chaos", "4294967295", "--chaos-rate", "0.25"}, Chaos::Settings{0xFFFFFFFFu, 0.25}},
        {{"--chaos", "0", "--chaos-rate", "1"}, Chaos::Settings{0, 1.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const auto parsed =
            Options::parse(QStringList{QStringLiteral("qm240lx-sim")} + c.arguments);
        ASSERT_TRUE(std::holds_alternative<Options>(parsed))
            << std::get<QString>(parsed).toStdString();
        EXPECT_EQ(std::get<Options>(parsed).faults.chaos, c.chaos);
    }
}

TEST(ChaosOptions, RefusesBadValuesNamingTheOption)
{
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"--chaos", "x"}, "chaos"},
        {{"--chaos", "-1"}, "chaos"},
        {{"--chaos", "4294967296"}, "chaos"},
        {{"--chaos", "1", "--chaos-rate", "1.5"}, "chaos-rate"},
        {{"--chaos", "1", "--chaos-rate", "nan"}, "chaos-rate"},
        {{"--chaos-rate", "0.5"}, "chaos-rate"},
    };
    for (const auto& [arguments, named] : cases) {
        const auto parsed = Options::parse(QStringList{QStringLiteral("qm240lx-sim")} + arguments);
        ASSERT_TRUE(std::holds_alternative<QString>(parsed)) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(std::get<QString>(parsed).contains(named))
            << std::get<QString>(parsed).toStdString();
    }
}

} // namespace
