// The emulator as a program over its pseudo-terminal. What its adapter answers
// is tested in-process; here: the line, the trace, the flash file and the link.
#include "support/SimProcess.h"

#include "PtyClient.h"

#include <sys/stat.h>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using qm240lx::test::PtyClient;
using qm240lx::test::SimProcess;

namespace {

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// Each write's reply is read in full before the next write; the trace then
// holds exactly what went each way.
TEST(SimProcess, AnswersOverThePseudoTerminalAndTracesEveryByte)
{
    const std::pair<QStringList, std::vector<std::pair<const char*, const char*>>> cases[] = {
        {{"--h-byte", "0x13", "--d-byte", "0x63", "--p-byte", "2"}, {{"acad", "fa136302"}}},
        {{}, {{"ae06", "fa"}, {"aaf8", "fa"}, {"ab03", "fa"}, {"ad", "06f803"}}},
        {{"--reject", "1"}, {{"ae06", "ee"}, {"ae07", "fa"}, {"ad", "079200"}}},
        {{"--delay", "50", "--delay-ops", "ac"}, {{"acad", "fa039200"}}},
        {{"--silent", "all"}, {{"ae13ad", ""}}},
    };
    for (const auto& [arguments, exchanges] : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        SimProcess sim;
        ASSERT_TRUE(sim.start(arguments)) << sim.errorString().toStdString();
        PtyClient host(sim.devicePath());
        QByteArray written;
        QByteArray replies;
        for (const auto& [write, reply] : exchanges) {
            ASSERT_TRUE(host.write(bytes(write)));
            EXPECT_EQ(host.read(bytes(reply).size()).toHex(), reply);
            written += bytes(write);
            replies += bytes(reply);
        }
        ASSERT_TRUE(sim.waitForReceived(written.size()));
        EXPECT_EQ(sim.received().toHex(), written.toHex());
        EXPECT_TRUE(sim.stop()) << "ends cleanly on SIGTERM";
        EXPECT_EQ(sim.sent().toHex(), replies.toHex());
    }
}

// A malformed flash file gives way to the start bytes; a save replaces it,
// and only what was saved is there at the next power-on.
TEST(SimProcess, FlashFileKeepsWhatWasSavedAcrossRuns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flash.bin"));
    QFile flash(path);
    ASSERT_TRUE(flash.open(QIODevice::WriteOnly));
    flash.write("garbage");
    flash.close();
    {
        SimProcess sim;
        ASSERT_TRUE(sim.start({"--flash", path, "--p-byte", "0x02"}))
            << sim.errorString().toStdString();
        EXPECT_TRUE(sim.standardError().contains(path));
        PtyClient host(sim.devicePath());
        ASSERT_TRUE(host.write(bytes("ad ae06 aa63 af")));
        EXPECT_EQ(host.read(6), bytes("039202 fafafa"));
        ASSERT_TRUE(host.write(bytes("ab01")));
        EXPECT_EQ(host.read(1), bytes("fa"));
    }
    ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
    EXPECT_EQ(flash.readAll(), bytes("066302"));

    SimProcess again;
    ASSERT_TRUE(again.start({"--flash", path, "--h-byte", "0x01"}))
        << again.errorString().toStdString();
    PtyClient host(again.devicePath());
    ASSERT_TRUE(host.write(bytes("ad")));
    EXPECT_EQ(host.read(3), bytes("066302"));
    EXPECT_FALSE(again.standardError().contains(path));
}

TEST(SimProcess, HostThatReopensTheLineLosesNothingMeantForIt)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    ASSERT_TRUE(PtyClient(sim.devicePath()).write(bytes("ac")));
    // Answered although nobody has the line open any more.
    ASSERT_TRUE(sim.waitForSent(1));
    ASSERT_TRUE(PtyClient(sim.devicePath()).isOpen());
    {
        PtyClient host(sim.devicePath());
        host.clearInput();
        ASSERT_TRUE(host.write(bytes("ad")));
        EXPECT_EQ(host.read(3), bytes("039200"));
    }
    PtyClient next(sim.devicePath());
    ASSERT_TRUE(next.write(bytes("ae13ad")));
    EXPECT_EQ(next.read(4), bytes("fa139200"));
}

TEST(SimProcess, LinkReplacesAnOldLinkAndGoesAtExitButNeverReplacesAFile)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyQM240LX"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--link", link})) << sim.errorString().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.devicePath());
    PtyClient host(link);
    ASSERT_TRUE(host.write(bytes("ac")));
    EXPECT_EQ(host.read(1), bytes("fa"));
    EXPECT_TRUE(sim.stop());
    struct stat status = {};
    EXPECT_NE(::lstat(link.toLocal8Bit().constData(), &status), 0);

    QFile file(dir.filePath(QStringLiteral("precious")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    SimProcess refused;
    EXPECT_FALSE(refused.start({"--link", file.fileName()}));
    EXPECT_TRUE(refused.waitForExit());
    EXPECT_FALSE(refused.exitedCleanly());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("keep"));
}

} // namespace
