#include "sim/Adapter.h"

#include "sim/FlashFile.h"
#include "sim/Options.h"

#include <functional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qm240lx::sim;
using namespace std::chrono_literals;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

// Feeds every byte at the same moment and joins the replies.
QByteArray feed(Adapter& adapter, const QByteArray& input)
{
    QByteArray replies;
    for (char byte : input) {
        const Adapter::Outcome outcome = adapter.receive(static_cast<std::uint8_t>(byte), 0ms);
        if (outcome.reply)
            replies.append(outcome.reply->bytes);
    }
    return replies;
}

const Configuration factory{0x03, 0x92, 0x00};

struct ExchangeCase
{
    const char* name;
    std::function<void(Faults&)> faults;
    QByteArray input;
    QByteArray replies;
    Configuration configuration;
    Configuration flash;
};

void PrintTo(const ExchangeCase& c, std::ostream* out)
{
    *out << c.name;
}

class AdapterExchange : public testing::TestWithParam<ExchangeCase>
{
};

TEST_P(AdapterExchange, AnswersAndKeepsConfiguration)
{
    const ExchangeCase& c = GetParam();
    Faults faults;
    if (c.faults)
        c.faults(faults);
    Adapter adapter(factory, faults);

    EXPECT_EQ(feed(adapter, c.input).toHex(' '), c.replies.toHex(' '));
    EXPECT_EQ(adapter.configuration(), c.configuration);
    EXPECT_EQ(adapter.flash(), c.flash);
}

const Configuration h06{0x06, 0x92, 0x00};

INSTANTIATE_TEST_SUITE_P(
    HealthyAdapter, AdapterExchange,
    testing::Values(
        ExchangeCase{"probe", {}, bytes({0xAC}), bytes({0xFA}), factory, factory},
        ExchangeCase{"read", {}, bytes({0xAD}), bytes({0x03, 0x92, 0x00}), factory, factory},
        ExchangeCase{"setH", {}, bytes({0xAE, 0x06}), bytes({0xFA}), h06, factory},
        ExchangeCase{"setD", {}, bytes({0xAA, 0x63}), bytes({0xFA}), {0x03, 0x63, 0x00}, factory},
        ExchangeCase{"setP", {}, bytes({0xAB, 0x02}), bytes({0xFA}), {0x03, 0x92, 0x02}, factory},
        ExchangeCase{"setThenRead",
                     {},
                     bytes({0xAE, 0xE3, 0xAD}),
                     bytes({0xFA, 0xE3, 0x92, 0x00}),
                     {0xE3, 0x92, 0x00},
                     factory},
        ExchangeCase{"valueLooksLikeOpcode",
                     {},
                     bytes({0xAE, 0xAC, 0xAA, 0xAF}),
                     bytes({0xFA, 0xFA}),
                     {0xAC, 0xAF, 0x00},
                     factory},
        ExchangeCase{
            "valueZero", {}, bytes({0xAA, 0x00}), bytes({0xFA}), {0x03, 0x00, 0x00}, factory},
        ExchangeCase{"save", {}, bytes({0xAE, 0x06, 0xAF}), bytes({0xFA, 0xFA}), h06, h06},
        ExchangeCase{"setAfterSaveStaysVolatile",
                     {},
                     bytes({0xAE, 0x06, 0xAF, 0xAB, 0x01}),
                     bytes({0xFA, 0xFA, 0xFA}),
                     {0x06, 0x92, 0x01},
                     h06},
        ExchangeCase{"strayBytesIgnored",
                     {},
                     bytes({0x00, 0xFA, 0xB0, 0xA9, 0x55, 0xAC}),
                     bytes({0xFA}),
                     factory,
                     factory}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Faults, AdapterExchange,
    testing::Values(
        ExchangeCase{"silentProbe", [](Faults& f) { f.silentOps.set(0xAC); }, bytes({0xAC, 0xAD}),
                     bytes({0x03, 0x92, 0x00}), factory, factory},
        ExchangeCase{"silentAllStillTakesEffect",
                     [](Faults& f) { f.silentOps = allOpcodes(); },
                     bytes({0xAE, 0x06, 0xAF, 0xAC, 0xAD}),
                     {},
                     h06,
                     h06},
        ExchangeCase{"rejectTwoUploads", [](Faults& f) { f.rejectCount = 2; },
                     bytes({0xAE, 0x01, 0xAA, 0x02, 0xAE, 0x06}), bytes({0xEE, 0xEE, 0xFA}), h06,
                     factory},
        ExchangeCase{"rejectIgnoresOtherOpcodes",
                     [](Faults& f) { f.rejectCount = 1; },
                     bytes({0xAC, 0xAF, 0xAB, 0x01, 0xAB, 0x02}),
                     bytes({0xFA, 0xFA, 0xEE, 0xFA}),
                     {0x03, 0x92, 0x02},
                     factory},
        ExchangeCase{"rejectSave",
                     [](Faults& f) {
                         f.rejectCount = 1;
                         f.rejectOps = OpcodeSet{}.set(0xAF);
                         f.rejectByte = 0x00;
                     },
                     bytes({0xAE, 0x06, 0xAF, 0xAF}), bytes({0xFA, 0x00, 0xFA}), h06, h06},
        ExchangeCase{"silentRejectionStoresNothing",
                     [](Faults& f) {
                         f.rejectCount = 1;
                         f.silentOps.set(0xAE);
                     },
                     bytes({0xAE, 0x06}),
                     {},
                     factory,
                     factory},
        ExchangeCase{"probeAnswer", [](Faults& f) { f.probeAnswer = 0x00; },
                     bytes({0xAC, 0xAE, 0x06}), bytes({0x00, 0xFA}), h06, factory},
        ExchangeCase{"shortReadback", [](Faults& f) { f.shortReadback = true; },
                     bytes({0xAD, 0xAC}), bytes({0x03, 0x92, 0xFA}), factory, factory},
        ExchangeCase{"extraAfterEveryAnswer", [](Faults& f) { f.extraCount = 2; },
                     bytes({0xAC, 0xAD}), bytes({0xFA, 0xFA, 0xFA, 0x03, 0x92, 0x00, 0xFA, 0xFA}),
                     factory, factory},
        ExchangeCase{"extraByteOnChosenOpcodes",
                     [](Faults& f) {
                         f.extraCount = 1;
                         f.extraByte = 0x55;
                         f.extraOps = OpcodeSet{}.set(0xAD);
                     },
                     bytes({0xAC, 0xAD}), bytes({0xFA, 0x03, 0x92, 0x00, 0x55}), factory, factory},
        ExchangeCase{"extraAfterRejection",
                     [](Faults& f) {
                         f.rejectCount = 1;
                         f.extraCount = 1;
                         f.extraByte = 0x11;
                     },
                     bytes({0xAB, 0x01}), bytes({0xEE, 0x11}), factory, factory},
        ExchangeCase{"silentHasNoExtra",
                     [](Faults& f) {
                         f.silentOps.set(0xAC);
                         f.extraCount = 3;
                     },
                     bytes({0xAC}),
                     {},
                     factory,
                     factory}),
    [](const auto& info) { return std::string(info.param.name); });

struct TimedByte
{
    int byte;
    Adapter::Millis at;
};

struct DelayCase
{
    const char* name;
    std::function<void(Faults&)> faults;
    std::vector<TimedByte> input;
    std::vector<Adapter::Millis> dueTimes;
};

void PrintTo(const DelayCase& c, std::ostream* out)
{
    *out << c.name;
}

class AdapterDelay : public testing::TestWithParam<DelayCase>
{
};

TEST_P(AdapterDelay, RepliesFallDueInOrder)
{
    const DelayCase& c = GetParam();
    Faults faults;
    c.faults(faults);
    Adapter adapter(factory, faults);

    std::vector<Adapter::Millis> dueTimes;
    for (const TimedByte& timed : c.input) {
        const Adapter::Outcome outcome =
            adapter.receive(static_cast<std::uint8_t>(timed.byte), timed.at);
        if (outcome.reply)
            dueTimes.push_back(outcome.reply->due);
    }
    EXPECT_EQ(dueTimes, c.dueTimes);
}

INSTANTIATE_TEST_SUITE_P(
    Delays, AdapterDelay,
    testing::Values(DelayCase{"none", [](Faults&) {}, {{0xAC, 7ms}, {0xAD, 9ms}}, {7ms, 9ms}},
                    DelayCase{"all",
                              [](Faults& f) { f.delay = 100ms; },
                              {{0xAC, 7ms}, {0xAD, 300ms}},
                              {107ms, 400ms}},
                    DelayCase{"fromValueByte",
                              [](Faults& f) { f.delay = 100ms; },
                              {{0xAE, 0ms}, {0x13, 50ms}},
                              {150ms}},
                    DelayCase{"chosenOpcodes",
                              [](Faults& f) {
                                  f.delay = 100ms;
                                  f.delayOps = OpcodeSet{}.set(0xAF);
                              },
                              {{0xAC, 5ms}, {0xAF, 10ms}, {0xAD, 300ms}},
                              {5ms, 110ms, 300ms}},
                    DelayCase{"laterAnswerWaitsForEarlierOne",
                              [](Faults& f) {
                                  f.delay = 100ms;
                                  f.delayOps = OpcodeSet{}.set(0xAD);
                              },
                              {{0xAD, 0ms}, {0xAC, 10ms}},
                              {100ms, 100ms}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AdapterUnplug, LeavesAtTheKthByteWithoutActingOnIt)
{
    Faults faults;
    faults.unplugAfter = 4;
    Adapter adapter(factory, faults);

    EXPECT_EQ(feed(adapter, bytes({0xAC, 0xAE, 0x06})), bytes({0xFA, 0xFA}));
    EXPECT_FALSE(adapter.isUnplugged());

    const Adapter::Outcome outcome = adapter.receive(0xAF, 0ms);
    EXPECT_TRUE(outcome.unplugged);
    EXPECT_FALSE(outcome.reply);
    EXPECT_FALSE(outcome.flashWritten);
    EXPECT_TRUE(adapter.isUnplugged());
    EXPECT_EQ(adapter.flash(), factory);

    const Adapter::Outcome after = adapter.receive(0xAC, 0ms);
    EXPECT_FALSE(after.unplugged);
    EXPECT_FALSE(after.reply);
}

TEST(AdapterUnplug, CountsValueBytes)
{
    Faults faults;
    faults.unplugAfter = 2;
    Adapter adapter(factory, faults);

    EXPECT_FALSE(adapter.receive(0xAE, 0ms).unplugged);
    EXPECT_TRUE(adapter.receive(0x06, 0ms).unplugged);
    EXPECT_EQ(adapter.configuration(), factory);
}

TEST(AdapterFlash, ReportsOnlyAcceptedSaves)
{
    Faults faults;
    faults.rejectCount = 1;
    faults.rejectOps = OpcodeSet{}.set(0xAF);
    Adapter adapter({0x01, 0x02, 0x03}, faults);
    EXPECT_EQ(adapter.configuration(), (Configuration{0x01, 0x02, 0x03}));

    EXPECT_FALSE(adapter.receive(0xAF, 0ms).flashWritten);
    EXPECT_FALSE(adapter.receive(0xAC, 0ms).flashWritten);
    EXPECT_TRUE(adapter.receive(0xAF, 0ms).flashWritten);
}

// --- byte and opcode arguments ---

struct ByteCase
{
    const char* text;
    std::optional<std::uint8_t> value;
};

TEST(ParseByte, HexWithPrefixOtherwiseDecimal)
{
    const ByteCase cases[] = {
        {"0x13", 0x13},
        {"19", 19},
        {"0XfF", 0xFF},
        {"255", 255},
        {"0", 0},
        {" 0x0a ", 0x0A},
        {"010", 10},
        {"256", std::nullopt},
        {"0x100", std::nullopt},
        {"-1", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"13h", std::nullopt},
    };
    for (const ByteCase& c : cases)
        EXPECT_EQ(parseByte(QString::fromLatin1(c.text)), c.value) << c.text;
}

struct OpcodesCase
{
    const char* text;
    std::optional<OpcodeSet> opcodes;
};

TEST(ParseOpcodes, HexListOrAll)
{
    const OpcodesCase cases[] = {
        {"ac", OpcodeSet{}.set(0xAC)},
        {"0xAC,0xad", OpcodeSet{}.set(0xAC).set(0xAD)},
        {" ae , AA,ab ", uploadOpcodes()},
        {"all", allOpcodes()},
        {"ALL", allOpcodes()},
        {"ac,,ad", std::nullopt},
        {"", std::nullopt},
        {"fa", std::nullopt},
        {"12", std::nullopt},
        {"ac;ad", std::nullopt},
        {"172", std::nullopt},
    };
    for (const OpcodesCase& c : cases)
        EXPECT_EQ(parseOpcodes(QString::fromLatin1(c.text)), c.opcodes) << c.text;
}

// --- the command line ---

struct OptionsCase
{
    const char* name;
    QStringList arguments;
    std::function<void(Options&)> expected;
};

void PrintTo(const OptionsCase& c, std::ostream* out)
{
    *out << c.name;
}

class OptionsParse : public testing::TestWithParam<OptionsCase>
{
};

TEST_P(OptionsParse, SetsExactlyWhatWasGiven)
{
    const OptionsCase& c = GetParam();
    Options expected;
    c.expected(expected);

    const auto parsed = Options::parse(QStringList{QStringLiteral("qm240lx-sim")} + c.arguments);

    ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << std::get<QString>(parsed).toStdString();
    EXPECT_TRUE(std::get<Options>(parsed) == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionsParse,
    testing::Values(
        OptionsCase{"defaults", {}, [](Options&) {}},
        OptionsCase{
            "link", {"--link", "/tmp/ttyQM"}, [](Options& o) { o.linkPath = "/tmp/ttyQM"; }},
        OptionsCase{"flash", {"--flash", "f.bin"}, [](Options& o) { o.flashPath = "f.bin"; }},
        OptionsCase{"startBytes",
                    {"--h-byte", "0x13", "--d-byte", "99", "--p-byte", "0x2"},
                    [](Options& o) {
                        o.startBytes = {0x13, 99, 0x02};
                    }},
        OptionsCase{"trace", {"--trace"}, [](Options& o) { o.trace = true; }},
        OptionsCase{"silent",
                    {"--silent", "ac,af"},
                    [](Options& o) { o.faults.silentOps = OpcodeSet{}.set(0xAC).set(0xAF); }},
        OptionsCase{"reject",
                    {"--reject", "2", "--reject-ops", "af", "--reject-byte", "0x00"},
                    [](Options& o) {
                        o.faults.rejectCount = 2;
                        o.faults.rejectOps = OpcodeSet{}.set(0xAF);
                        o.faults.rejectByte = 0x00;
                    }},
        OptionsCase{"probeAnswer",
                    {"--probe-answer", "0"},
                    [](Options& o) { o.faults.probeAnswer = 0x00; }},
        OptionsCase{"shortReadback",
                    {"--short-readback"},
                    [](Options& o) { o.faults.shortReadback = true; }},
        OptionsCase{"extra",
                    {"--extra", "3", "--extra-byte", "0x55", "--extra-ops", "ad"},
                    [](Options& o) {
                        o.faults.extraCount = 3;
                        o.faults.extraByte = 0x55;
                        o.faults.extraOps = OpcodeSet{}.set(0xAD);
                    }},
        OptionsCase{"delay",
                    {"--delay", "250", "--delay-ops", "ae,aa"},
                    [](Options& o) {
                        o.faults.delay = 250ms;
                        o.faults.delayOps = OpcodeSet{}.set(0xAE).set(0xAA);
                    }},
        OptionsCase{
            "unplugAfter", {"--unplug-after", "1"}, [](Options& o) { o.faults.unplugAfter = 1; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionsParse, RefusesBadValuesNamingTheOption)
{
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"--h-byte", "256"}, "h-byte"},
        {{"--d-byte", "x"}, "d-byte"},
        {{"--extra-byte", "0x1FF"}, "extra-byte"},
        {{"--probe-answer", ""}, "probe-answer"},
        {{"--reject", "-1"}, "reject"},
        {{"--extra", "many"}, "extra"},
        {{"--delay", "1.5"}, "delay"},
        {{"--unplug-after", "0"}, "unplug-after"},
        {{"--silent", "fa"}, "silent"},
        {{"--delay-ops", "ac,"}, "delay-ops"},
        {{"--silent"}, "silent"},
        {{"--bogus"}, "bogus"},
        {{"stray"}, "stray"},
    };
    for (const auto& [arguments, named] : cases) {
        const auto parsed = Options::parse(QStringList{QStringLiteral("qm240lx-sim")} + arguments);
        ASSERT_TRUE(std::holds_alternative<QString>(parsed)) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(std::get<QString>(parsed).contains(named))
            << std::get<QString>(parsed).toStdString();
    }
}

// --- the flash file ---

class FlashFileTest : public testing::Test
{
protected:
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

    void write(const QString& file, const QByteArray& content) const
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

    QByteArray contents(const QString& file) const
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

TEST_F(FlashFileTest, SavesRawBytesAndLoadsThemBack)
{
    const FlashFile flash(path("flash.bin"));
    const Configuration saved{0x1F, 0x00, 0xAB};

    EXPECT_EQ(flash.save(saved), QString());
    EXPECT_EQ(contents(flash.path()), bytes({0x1F, 0x00, 0xAB}));
    EXPECT_EQ(flash.load().configuration, saved);

    EXPECT_EQ(flash.save({0x06, 0x63, 0x02}), QString());
    EXPECT_EQ(flash.load().configuration, (Configuration{0x06, 0x63, 0x02}));
}

TEST_F(FlashFileTest, MissingOrMalformedFileGivesNothingAndSaysWhy)
{
    write(path("empty"), {});
    write(path("two"), bytes({0x01, 0x02}));
    write(path("four"), bytes({0x01, 0x02, 0x03, 0x04}));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("folder")));

    for (const char* name : {"missing", "empty", "two", "four", "folder"}) {
        const FlashFile::Loaded loaded = FlashFile(path(name)).load();
        EXPECT_FALSE(loaded.configuration) << name;
        EXPECT_TRUE(loaded.problem.contains(path(name))) << loaded.problem.toStdString();
    }
}

TEST_F(FlashFileTest, SaveIntoMissingFolderFailsWithReason)
{
    const FlashFile flash(path("no/such/folder/flash.bin"));
    EXPECT_FALSE(flash.save(factory).isEmpty());
}

} // namespace
