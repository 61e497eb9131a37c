// Detection, read-back, the uploads and the save to flash, each run on its own
// against a scripted adapter: what it writes, how it ends, the text it leaves.
#include "protocol/Detection.h"
#include "protocol/ReadBack.h"
#include "protocol/SaveToFlash.h"
#include "protocol/Upload.h"
#include "support/Finish.h"
#include "support/ScriptedAnswers.h"

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::ScriptedAnswers;
using test::VirtualLine;

const QString ready = "Velorin QM240LX READY.";
const QString notDetected = "Velorin QM240LX NOT DETECT.";
const QString silent = "QM240LX NOT DETECT.";
const QString timedOut = "ERROR:TIME OUT!";
const QString held = "Success to change QM240LX setting.\r\n"
                     "This setting will be used until QM240LX POWER OFF.";
const QString notConfirmed = "QM240LX did not answer: the setting is not confirmed.";
const QString saved = "Configuration Data is updated in Flash";
const QString notSaved = "Unable to update the Flash";
const QString gone = "COM1 is not usable: /dev/virtual1 is gone";
const QString closed = "COM1 is not open.";
const QString crlf = "\r\n";
const QString keepsSending = "QM240LX keeps sending: nothing was written to it.";

// An open line with a scripted adapter, keeping each text shown once.
struct Rig
{
    explicit Rig(Tick start = 0x10000) : line(start, &script) { line.openNow(); }
    QString lastShown() const { return shown.value(shown.size() - 1); }

    ScriptedAnswers script;
    VirtualLine line;
    Exchange exchange{line, QStringLiteral("COM1"), line, line.tick()};
    QStringList shown;
    ShowText show = [this](const QString& text) {
        if (lastShown() != text)
            shown << text;
    };
};

// What the line does besides answering.
enum class Port
{
    Open,
    Stale,     // three acknowledgements wait before the command
    LostAt500, // ms after the command began
    LostAt4500,
    LostAfterReply, // 2 ms after a reply 10 ms after the command, within the quiet gap
    Closed,
    Babbling, // a byte every millisecond, for longer than any limit
};

template <typename End> struct Case
{
    const char* name;
    const char* answers; // to each opcode in turn
    End end;
    QString text; // the last one shown
    const char* written;
    Port port = Port::Open;
};

template <typename End, std::size_t N, typename Run>
void runCases(const Case<End> (&cases)[N], const Run& run)
{
    for (const Case<End>& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.script.answers(c.answers);
        if (c.port == Port::Stale)
            rig.line.arrive(bytes("fafafa"));
        if (c.port == Port::LostAt500 || c.port == Port::LostAt4500)
            rig.line.loseAfter(c.port == Port::LostAt500 ? 500 : 4500);
        if (c.port == Port::LostAfterReply)
            rig.line.loseAfter(serialQuietGapMs + 10 + 2);
        if (c.port == Port::Closed)
            test::finish(rig.line.close());
        for (Tick ms = 0; c.port == Port::Babbling && ms < 4000; ++ms)
            rig.line.arriveAfter(ms, bytes("55"));
        EXPECT_EQ(run(rig), c.end);
        EXPECT_EQ(rig.lastShown(), c.text);
        EXPECT_EQ(rig.line.written(), bytes(c.written));
    }
}

// 57600 baud, both Ignore at NO.
UploadEnd uploadH(Rig& rig, BuiltByte built = {0x06, std::nullopt})
{
    return rig.line.run(uploadSetting(
        rig.exchange, hostSettingsUpload(), [&] { return built; },
        [&] { return readConfiguration(rig.exchange, rig.show); }, rig.show));
}

TEST(Detection, EndsAsTheAdapterAnswers)
{
    using enum Answer;
    const Case<Answer> cases[] = {
        {"ready", "fa", Acknowledged, ready, "ac"},
        {"only the first of several bytes counts", "fa00", Acknowledged, ready, "ac"},
        {"wrong answer", "00", Other, notDetected, "ac"},
        {"silence", "", Silence, silent, "ac"},
        {"a stale acknowledgement is not the answer", "", Silence, silent, "ac", Port::Stale},
        {"the port lost", "", PortFailed, notDetected + crlf + gone, "ac", Port::LostAt500},
        {"a closed port", "", PortFailed, notDetected + crlf + closed, "", Port::Closed},
        {"a line that never falls quiet", "", KeepsSending, notDetected + crlf + keepsSending, "",
         Port::Babbling},
    };
    runCases(cases, [](Rig& rig) { return rig.line.run(detectAdapter(rig.exchange, rig.show)); });
}

TEST(ReadBack, EndsAsTheAdapterAnswers)
{
    using enum ReadBack::End;
    const Case<ReadBack::End> cases[] = {
        {"three bytes", "1ff902", Read, "", "ad"},
        {"a short reply", "1ff9", Timeout, timedOut, "ad"},
        {"stale bytes are not the reply", "", Timeout, timedOut, "ad", Port::Stale},
        {"the port lost", "", PortFailed, gone, "ad", Port::LostAt500},
        {"a closed port", "", PortFailed, closed, "", Port::Closed},
        {"the port lost just after the reply", "1ff902", Read, "", "ad", Port::LostAfterReply},
        {"more bytes after the reply: asked again", "1ff90255|1ff902", Read, "", "adad"},
        {"more bytes after the reply, twice", "1ff90255|1ff90255", Suspect,
         "QM240LX sent more than its configuration, twice: nothing is shown.", "adad"},
        {"a line that never falls quiet", "", KeepsSending, keepsSending, "", Port::Babbling},
    };
    runCases(cases,
             [](Rig& rig) { return rig.line.run(readConfiguration(rig.exchange, rig.show)).end; });
}

TEST(Upload, EndsAsTheAdapterAnswers)
{
    using enum UploadEnd;
    const QString contradicted =
        "QM240LX acknowledged, but reports another setting: please try again.";
    const Case<UploadEnd> cases[] = {
        {"accepted", "fa|069200", Accepted, "H-Byte is successfully set", "ae06ad"},
        {"three rejections", "ee|ee|ee", Rejected, "Internal setting not change, please try again.",
         "ae06ae06ae06"},
        {"a rejection, then silence the read-back confirms", "ee||069200", ConfirmedAfterSilence,
         held, "ae06ae06ad"},
        {"silence, and fields that confirm it beside stray bits", "|e69600", ConfirmedAfterSilence,
         held, "ae06ad"},
        {"silence the read-back does not confirm", "|039200", NotConfirmed, notConfirmed, "ae06ad"},
        {"silence, and silence to the read-back", "", NotConfirmed, notConfirmed, "ae06ad"},
        {"a stale acknowledgement is not the answer", "", NotConfirmed, notConfirmed, "ae06ad",
         Port::Stale},
        {"an acknowledgement the read-back contradicts", "fa|039200", NotConfirmed, contradicted,
         "ae06ad"},
        {"the acceptance stays after a read-back that times out", "fa", Accepted, timedOut,
         "ae06ad"},
        {"an acknowledgement followed by more bytes, confirmed", "fa55|069200", Accepted,
         "H-Byte is successfully set", "ae06ad"},
        {"an acknowledgement followed by more bytes, not confirmed", "fa55", NotConfirmed,
         "QM240LX sent more than its acknowledgement: the setting is not confirmed.", "ae06ad"},
        {"a line that never falls quiet", "", KeepsSending, keepsSending, "", Port::Babbling},
        {"the port lost in the wait", "", PortFailed, gone, "ae06", Port::LostAt500},
        {"the port lost in the read-back", "", PortFailed, gone, "ae06ad", Port::LostAt4500},
        {"a closed port", "", PortFailed, closed, "", Port::Closed},
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
        if (pass == 2)
            selected.byte = 0x07; // the user clicks during the first wait for the answer
    });
    EXPECT_EQ(rig.line
                  .run(uploadSetting(
                      rig.exchange, hostSettingsUpload(), [&] { return selected; },
                      [&] { return readConfiguration(rig.exchange, rig.show); }, rig.show))
                  .end,
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
        {"accepted", "fa", Acknowledged, saved, "af"},
        {"rejected", "00", Other, notSaved, "af"},
        {"silent", "", Silence, notSaved, "af"},
        {"a stale acknowledgement is not the answer", "", Silence, notSaved, "af", Port::Stale},
        {"the port lost", "", PortFailed, notSaved + crlf + gone, "af", Port::LostAt500},
        {"a closed port", "", PortFailed, notSaved + crlf + closed, "", Port::Closed},
        {"a line that never falls quiet", "", KeepsSending, notSaved + crlf + keepsSending, "",
         Port::Babbling},
    };
    runCases(cases, [](Rig& rig) { return rig.line.run(saveToFlash(rig.exchange, rig.show)); });
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
         [](Rig& rig) {
             return rig.line.run(detectAdapter(rig.exchange, rig.show)) == Answer::Acknowledged;
         }},
        {"read-back", 3000, bytes("03 92 00"),
         [](Rig& rig) {
             return rig.line.run(readConfiguration(rig.exchange, rig.show)).end ==
                    ReadBack::End::Read;
         }},
        {"upload", 3000, bytes("fa"), [](Rig& rig) { return uploadH(rig) == UploadEnd::Accepted; }},
        {"save", 1000, bytes("fa"),
         [](Rig& rig) {
             return rig.line.run(saveToFlash(rig.exchange, rig.show)) == Answer::Acknowledged;
         }},
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

} // namespace
} // namespace qm240lx
