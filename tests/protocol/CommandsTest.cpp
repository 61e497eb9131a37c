// Detection, read-back, the uploads and the save to flash, each run on its own
// against a scripted adapter: what it writes, how it ends, the text it leaves.
#include "protocol/Detection.h"
#include "protocol/ReadBack.h"
#include "protocol/SaveToFlash.h"
#include "protocol/Upload.h"
#include "support/AdapterEnd.h"
#include "support/ScriptedAnswers.h"

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::ScriptedAnswers;
using test::VirtualLine;

const QString ready = "Velorin QM240LX READY.";
const QString rejected = "Internal setting not change, please try again.";
const QString heldUntilPowerOff = "Success to change QM240LX setting.\r\n"
                                  "This setting will be used until QM240LX POWER OFF.";
const QString notConfirmed = "QM240LX did not answer: the setting is not confirmed.";
const QString flashNotUpdated = "Unable to update the Flash";
const QString gone = "COM1 is not usable: /dev/virtual1 is gone";
const QString closed = "COM1 is not open.";

// An open line with a scripted adapter, keeping each text shown once.
struct Rig
{
    explicit Rig(Tick start = 0x10000) : line(start, &script) { line.setPortOpen(true); }
    QString lastShown() const { return shown.value(shown.size() - 1); }

    ScriptedAnswers script;
    VirtualLine line;
    Exchange exchange{line, line, line.tick()};
    QStringList shown;
    ShowText show = [this](const QString& text) {
        if (lastShown() != text)
            shown << text;
    };
};

using Script = std::vector<std::pair<QByteArray, Tick>>; // answers to each opcode, and their delay

template <typename End> struct Case
{
    const char* name;
    Script answers;
    End end;
    QString text; // the last one shown
    QByteArray written;
    QByteArray waiting = {}; // received before the command
    std::optional<Tick> lostAfter = {};
    bool closed = false;
};

template <typename End, std::size_t N, typename Run>
void runCases(const Case<End> (&cases)[N], const Run& run)
{
    for (const Case<End>& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        for (const auto& [answer, delayMs] : c.answers)
            rig.script.answer(answer, delayMs);
        rig.line.arrive(c.waiting);
        if (c.lostAfter)
            rig.line.loseAfter(*c.lostAfter);
        if (c.closed)
            rig.line.setPortOpen(false);
        EXPECT_EQ(run(rig), c.end);
        EXPECT_EQ(rig.lastShown(), c.text);
        EXPECT_EQ(rig.line.written(), c.written);
    }
}

// 57600 baud, both Ignore at NO.
UploadEnd uploadH(Rig& rig, BuiltByte built = {0x06, std::nullopt})
{
    return uploadSetting(
        rig.exchange, hostSettingsUpload(), [&] { return built; },
        [&] { return readConfiguration(rig.exchange, rig.show); }, rig.show);
}

TEST(Detection, EndsAsTheAdapterAnswers)
{
    using enum Answer;
    const Case<Answer> cases[] = {
        {"ready", {{bytes("fa"), 5}}, Acknowledged, ready, bytes("ac")},
        {"only the first of several bytes is judged",
         {{bytes("fa00"), 5}},
         Acknowledged,
         ready,
         bytes("ac")},
        {"wrong answer", {{bytes("00"), 5}}, Other, "Velorin QM240LX NOT DETECT.", bytes("ac")},
        {"silence", {}, Silence, "QM240LX NOT DETECT.", bytes("ac")},
        {"a stale acknowledgement is not the answer",
         {},
         Silence,
         "QM240LX NOT DETECT.",
         bytes("ac"),
         bytes("fafafa")},
        {"the port lost",
         {},
         PortFailed,
         "Velorin QM240LX NOT DETECT.\r\n" + gone,
         bytes("ac"),
         {},
         500},
        {"a closed port",
         {},
         PortFailed,
         "Velorin QM240LX NOT DETECT.\r\n" + closed,
         {},
         {},
         {},
         true},
    };
    runCases(cases, [](Rig& rig) { return detectAdapter(rig.exchange, rig.show); });
}

TEST(Detection, SettlesMoreThan200MsBeforeTheProbe)
{
    Rig rig;
    detectAdapter(rig.exchange, rig.show);
    ASSERT_FALSE(rig.line.events().empty());
    EXPECT_GE(rig.line.events().front().at, 201u);
}

TEST(ReadBack, EndsAsTheAdapterAnswers)
{
    using enum ReadBack::End;
    const Case<ReadBack::End> cases[] = {
        {"three bytes", {{bytes("1f f9 02"), 40}}, Read, {}, bytes("ad")},
        {"a short reply", {{bytes("1f f9"), 40}}, Timeout, "ERROR:TIME OUT!", bytes("ad")},
        {"stale bytes are not the reply",
         {},
         Timeout,
         "ERROR:TIME OUT!",
         bytes("ad"),
         bytes("1f f9 02")},
        {"the port lost", {}, PortFailed, gone, bytes("ad"), {}, 500},
        {"a closed port", {}, PortFailed, closed, {}, {}, {}, true},
    };
    runCases(cases, [](Rig& rig) { return readConfiguration(rig.exchange, rig.show).end; });
}

TEST(ReadBack, TakesThreeBytesAndLeavesTheRest)
{
    Rig rig;
    rig.script.answer(bytes("e4 36 07 aa bb"));
    EXPECT_EQ(readConfiguration(rig.exchange, rig.show).bytes, (ConfigBytes{0xE4, 0x36, 0x07}));
    EXPECT_EQ(rig.line.inBufferCount(), 2);
}

TEST(Upload, EndsAsTheAdapterAnswers)
{
    using enum UploadEnd;
    const Case<UploadEnd> cases[] = {
        {"accepted at once",
         {{bytes("fa"), 10}, {bytes("06 92 00"), 10}},
         Accepted,
         "H-Byte is successfully set",
         bytes("ae06ad")},
        {"three rejections",
         {{bytes("ee"), 10}, {bytes("ee"), 10}, {bytes("ee"), 10}},
         Rejected,
         rejected,
         bytes("ae06ae06ae06")},
        {"a rejection, then silence the read-back confirms",
         {{bytes("ee"), 10}, {{}, 0}, {bytes("06 92 00"), 10}},
         ConfirmedAfterSilence,
         heldUntilPowerOff,
         bytes("ae06ae06ad")},
        {"silence, and a read-back whose fields confirm it beside stray bits",
         {{{}, 0}, {bytes("e6 96 00"), 10}},
         ConfirmedAfterSilence,
         heldUntilPowerOff,
         bytes("ae06ad")},
        {"silence the read-back does not confirm",
         {{{}, 0}, {bytes("03 92 00"), 10}},
         NotConfirmed,
         notConfirmed,
         bytes("ae06ad")},
        {"silence, and silence to the read-back", {}, NotConfirmed, notConfirmed, bytes("ae06ad")},
        {"a stale acknowledgement is not the answer",
         {},
         NotConfirmed,
         notConfirmed,
         bytes("ae06ad"),
         bytes("fafafa")},
        {"an acknowledgement the read-back contradicts",
         {{bytes("fa"), 10}, {bytes("03 92 00"), 10}},
         NotConfirmed,
         "QM240LX acknowledged, but reports another setting: please try again.",
         bytes("ae06ad")},
        {"the acceptance stays after a read-back that times out",
         {{bytes("fa"), 10}},
         Accepted,
         "ERROR:TIME OUT!",
         bytes("ae06ad")},
        {"silence, and the port lost during the read-back",
         {},
         PortFailed,
         gone,
         bytes("ae06ad"),
         {},
         4500},
        {"a closed port", {}, PortFailed, closed, {}, {}, {}, true},
    };
    runCases(cases, [](Rig& rig) { return uploadH(rig); });
}

TEST(Upload, BuildsTheByteAnewForEachAttemptAndNotWithNothingSelected)
{
    Rig rig;
    rig.script.answer(bytes("ee"), 500);
    rig.script.answer(bytes("fa"), 500);
    rig.script.answer(bytes("07 92 00"));
    BuiltByte selected{0x03, std::nullopt};
    rig.line.setHook([&](int pass) {
        if (pass == 1)
            selected.byte = 0x07; // the user clicks during the first wait
    });
    EXPECT_EQ(uploadSetting(
                  rig.exchange, hostSettingsUpload(), [&] { return selected; },
                  [&] { return readConfiguration(rig.exchange, rig.show); }, rig.show),
              UploadEnd::Accepted);
    EXPECT_EQ(rig.line.written(), bytes("ae03ae07ad"));

    Rig none;
    EXPECT_EQ(uploadH(none, {std::nullopt, Group::CCTRL}), UploadEnd::NothingSelected);
    EXPECT_TRUE(none.line.written().isEmpty());
    EXPECT_EQ(none.lastShown(), "Nothing sent: choose a setting under \"Ignore CTS\" first.");
}

TEST(SaveToFlash, EndsAsTheAdapterAnswers)
{
    using enum Answer;
    const Case<Answer> cases[] = {
        {"accepted",
         {{bytes("fa"), 10}},
         Acknowledged,
         "Configuration Data is updated in Flash",
         bytes("af")},
        {"rejected", {{bytes("00"), 10}}, Other, flashNotUpdated, bytes("af")},
        {"silent", {}, Silence, flashNotUpdated, bytes("af")},
        {"a stale acknowledgement is not the answer",
         {},
         Silence,
         flashNotUpdated,
         bytes("af"),
         bytes("fafafa")},
        {"the port lost", {}, PortFailed, flashNotUpdated + "\r\n" + gone, bytes("af"), {}, 500},
        {"a closed port", {}, PortFailed, flashNotUpdated + "\r\n" + closed, {}, {}, {}, true},
    };
    runCases(cases, [](Rig& rig) { return saveToFlash(rig.exchange, rig.show); });
}

// Passes read 0, L/2 and L ms into the wait: L goes on, 3L/2 is over. A reply
// that comes while the pass at L sleeps is taken.
TEST(Commands, WaitStrictlyLongerThanTheirLimit)
{
    struct Limit
    {
        const char* name;
        Tick limitMs;
        QByteArray reply;
        std::function<bool(Rig&)> answered;
    };
    const Limit limits[] = {
        {"probe", 2000, bytes("fa"),
         [](Rig& rig) { return detectAdapter(rig.exchange, rig.show) == Answer::Acknowledged; }},
        {"read-back", 3000, bytes("03 92 00"),
         [](Rig& rig) {
             return readConfiguration(rig.exchange, rig.show).end == ReadBack::End::Read;
         }},
        {"upload", 3000, bytes("fa"), [](Rig& rig) { return uploadH(rig) == UploadEnd::Accepted; }},
        {"save", 1000, bytes("fa"),
         [](Rig& rig) { return saveToFlash(rig.exchange, rig.show) == Answer::Acknowledged; }},
    };
    for (const Limit& limit : limits) {
        for (const bool inTime : {true, false}) {
            SCOPED_TRACE(testing::Message() << limit.name << (inTime ? " in time" : " late"));
            Rig rig;
            rig.line.setStep(limit.limitMs / 2);
            rig.script.answer(limit.reply, inTime ? limit.limitMs + 1 : limit.limitMs * 3 / 2 + 1);
            rig.script.answer(bytes("06 92 00"));
            EXPECT_EQ(limit.answered(rig), inTime);
        }
    }
}

// The emulator's adapter keeps its own table of the opcodes: both sides must
// agree on every command.
TEST(Commands, ConfigureTheEmulatedAdapter)
{
    test::AdapterEnd adapter(sim::Adapter(sim::Configuration{}));
    VirtualLine line(0, &adapter);
    line.setPortOpen(true);
    Exchange exchange(line, line, line.tick());
    const ShowText show = [](const QString&) {};
    const auto upload = [&](const UploadKind& kind, std::uint8_t byte) {
        return uploadSetting(
            exchange, kind,
            [&] {
                return BuiltByte{byte, std::nullopt};
            },
            [&] { return readConfiguration(exchange, show); }, show);
    };
    EXPECT_EQ(detectAdapter(exchange, show), Answer::Acknowledged);
    EXPECT_EQ(readConfiguration(exchange, show).bytes, (ConfigBytes{0x03, 0x92, 0x00}));
    EXPECT_EQ(upload(hostSettingsUpload(), 0x1F), UploadEnd::Accepted);
    EXPECT_EQ(upload(discoveryTimingUpload(), 0xF8), UploadEnd::Accepted);
    EXPECT_EQ(upload(primaryProtocolUpload(), 0x02), UploadEnd::Accepted);
    EXPECT_EQ(saveToFlash(exchange, show), Answer::Acknowledged);
    EXPECT_EQ(adapter.adapter().flash(), (sim::Configuration{0x1F, 0xF8, 0x02}));
    EXPECT_EQ(line.written(), bytes("ac ad ae1f ad aaf8 ad ab02 ad af"));
}

} // namespace
} // namespace qm240lx
