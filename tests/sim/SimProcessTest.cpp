#include "support/SimProcess.h"

#include "PtyClient.h"

#include <sys/stat.h>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using qm240lx::test::PtyClient;
using qm240lx::test::SimProcess;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

struct Exchange
{
    QByteArray write;
    QByteArray reply;
};

struct SessionCase
{
    const char* name;
    QStringList arguments;
    std::vector<Exchange> exchanges;
};

void PrintTo(const SessionCase& c, std::ostream* out)
{
    *out << c.name;
}

class SimSession : public testing::TestWithParam<SessionCase>
{
};

// Each exchange's reply is read in full before the next write; the trace
// then holds exactly what went each way.
TEST_P(SimSession, AnswersOverThePseudoTerminal)
{
    const SessionCase& c = GetParam();
    SimProcess sim;
    ASSERT_TRUE(sim.start(c.arguments)) << sim.errorString().toStdString();
    PtyClient host(sim.devicePath());
    ASSERT_TRUE(host.isOpen());

    QByteArray written;
    QByteArray replies;
    for (const Exchange& exchange : c.exchanges) {
        ASSERT_TRUE(host.write(exchange.write));
        EXPECT_EQ(host.read(exchange.reply.size()).toHex(' '), exchange.reply.toHex(' '));
        written += exchange.write;
        replies += exchange.reply;
    }
    EXPECT_EQ(sim.received().toHex(' '), written.toHex(' '));
    EXPECT_TRUE(sim.stop());
    EXPECT_EQ(sim.sent().toHex(' '), replies.toHex(' '));
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, SimSession,
    testing::Values(SessionCase{"probe", {}, {{bytes({0xAC}), bytes({0xFA})}}},
                    SessionCase{"readBack", {}, {{bytes({0xAD}), bytes({0x03, 0x92, 0x00})}}},
                    SessionCase{"startBytes",
                                {"--h-byte", "0x13", "--d-byte", "0x63", "--p-byte", "2"},
                                {{bytes({0xAD}), bytes({0x13, 0x63, 0x02})}}},
                    SessionCase{"setThenReadBack",
                                {},
                                {{bytes({0xAE, 0x06}), bytes({0xFA})},
                                 {bytes({0xAA, 0xF8}), bytes({0xFA})},
                                 {bytes({0xAB, 0x03}), bytes({0xFA})},
                                 {bytes({0xAD}), bytes({0x06, 0xF8, 0x03})}}},
                    SessionCase{"wrongProbeAnswer",
                                {"--probe-answer", "0x00"},
                                {{bytes({0xAC}), bytes({0x00})}}},
                    SessionCase{"silentProbeThenReadBack",
                                {"--silent", "ac"},
                                {{bytes({0xAC, 0xAD}), bytes({0x03, 0x92, 0x00})}}},
                    SessionCase{"rejectedUpload",
                                {"--reject", "1"},
                                {{bytes({0xAE, 0x06}), bytes({0xEE})},
                                 {bytes({0xAE, 0x07}), bytes({0xFA})},
                                 {bytes({0xAD}), bytes({0x07, 0x92, 0x00})}}},
                    SessionCase{"shortReadBackWithExtra",
                                {"--short-readback", "--extra", "1", "--extra-byte", "0x33"},
                                {{bytes({0xAD}), bytes({0x03, 0x92, 0x33})}}},
                    SessionCase{"delayedReply",
                                {"--delay", "50", "--delay-ops", "ac"},
                                {{bytes({0xAC, 0xAD}), bytes({0xFA, 0x03, 0x92, 0x00})}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimProcess, TraceShowsWhatASilentAdapterHeard)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--silent", "all"})) << sim.errorString().toStdString();
    PtyClient host(sim.devicePath());
    ASSERT_TRUE(host.write(bytes({0xAE, 0x13, 0xAD})));

    ASSERT_TRUE(sim.waitForReceived(3));
    EXPECT_EQ(sim.received(), bytes({0xAE, 0x13, 0xAD}));
    EXPECT_EQ(sim.traceLines().size(), 3);
    EXPECT_TRUE(sim.sent().isEmpty());
    EXPECT_TRUE(sim.isRunning());
}

TEST(SimProcess, FlashSurvivesRestartButUnsavedSettingsDoNot)
{
    QTemporaryDir dir;
    const QString flashPath = dir.filePath(QStringLiteral("flash.bin"));
    const QStringList arguments{QStringLiteral("--flash"), flashPath};

    SimProcess first;
    ASSERT_TRUE(first.start(arguments)) << first.errorString().toStdString();
    EXPECT_TRUE(first.standardError().contains(flashPath));
    PtyClient host(first.devicePath());
    ASSERT_TRUE(host.write(bytes({0xAE, 0x06, 0xAA, 0x63, 0xAF})));
    EXPECT_EQ(host.read(3), bytes({0xFA, 0xFA, 0xFA}));
    ASSERT_TRUE(host.write(bytes({0xAB, 0x01})));
    EXPECT_EQ(host.read(1), bytes({0xFA}));
    EXPECT_TRUE(first.stop());

    QFile flash(flashPath);
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.readAll(), bytes({0x06, 0x63, 0x00}));

    SimProcess second;
    ASSERT_TRUE(second.start(arguments + QStringList{"--h-byte", "0x01"}))
        << second.errorString().toStdString();
    PtyClient again(second.devicePath());
    ASSERT_TRUE(again.write(bytes({0xAD})));
    EXPECT_EQ(again.read(3), bytes({0x06, 0x63, 0x00}));
    EXPECT_FALSE(second.standardError().contains(flashPath));
}

TEST(SimProcess, MalformedFlashFileFallsBackToStartBytes)
{
    QTemporaryDir dir;
    const QString flashPath = dir.filePath(QStringLiteral("flash.bin"));
    QFile flash(flashPath);
    ASSERT_TRUE(flash.open(QIODevice::WriteOnly));
    flash.write("garbage");
    flash.close();

    SimProcess sim;
    ASSERT_TRUE(sim.start({"--flash", flashPath, "--p-byte", "0x02"}))
        << sim.errorString().toStdString();
    PtyClient host(sim.devicePath());
    ASSERT_TRUE(host.write(bytes({0xAD})));
    EXPECT_EQ(host.read(3), bytes({0x03, 0x92, 0x02}));
    EXPECT_TRUE(sim.standardError().contains(flashPath));
}

TEST(SimProcess, UnplugHangsUpTheLineAndEnds)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--unplug-after", "1"})) << sim.errorString().toStdString();
    PtyClient host(sim.devicePath());
    ASSERT_TRUE(host.write(bytes({0xAC})));

    EXPECT_TRUE(host.waitForHangup());
    EXPECT_TRUE(sim.waitForExit());
    EXPECT_FALSE(sim.isRunning());
    EXPECT_TRUE(sim.exitedCleanly());
    EXPECT_EQ(sim.received(), bytes({0xAC}));
    EXPECT_TRUE(sim.sent().isEmpty());
}

TEST(SimProcess, HostThatReopensTheLineLosesNothingMeantForIt)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    {
        PtyClient quitter(sim.devicePath());
        ASSERT_TRUE(quitter.write(bytes({0xAC})));
    }
    // Answered although nobody has the line open any more.
    ASSERT_TRUE(sim.waitForSent(1));
    {
        PtyClient idle(sim.devicePath());
        ASSERT_TRUE(idle.isOpen());
    }
    PtyClient host(sim.devicePath());
    host.clearInput();
    ASSERT_TRUE(host.write(bytes({0xAD})));
    EXPECT_EQ(host.read(3), bytes({0x03, 0x92, 0x00}));
    host.close();

    PtyClient next(sim.devicePath());
    ASSERT_TRUE(next.write(bytes({0xAE, 0x13, 0xAD})));
    EXPECT_EQ(next.read(4), bytes({0xFA, 0x13, 0x92, 0x00}));
    EXPECT_TRUE(sim.isRunning());
}

TEST(SimProcess, LinkReplacesAnOldLinkAndGoesAtExit)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyQM240LX"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));

    SimProcess sim;
    ASSERT_TRUE(sim.start({"--link", link})) << sim.errorString().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.devicePath());
    PtyClient host(link);
    ASSERT_TRUE(host.write(bytes({0xAC})));
    EXPECT_EQ(host.read(1), bytes({0xFA}));

    EXPECT_TRUE(sim.stop());
    struct stat status
    {
    };
    EXPECT_NE(::lstat(link.toLocal8Bit().constData(), &status), 0);
}

TEST(SimProcess, LinkNeverReplacesAnOrdinaryFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("precious"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();

    SimProcess sim;
    EXPECT_FALSE(sim.start({"--link", path}));
    EXPECT_TRUE(sim.waitForExit());
    EXPECT_FALSE(sim.exitedCleanly());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep"));
}

} // namespace
