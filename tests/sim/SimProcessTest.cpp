// The emulator as a program over its pseudo-terminal. What its adapter answers
// is tested in-process; here: the flash file and the link over the line.
#include "support/SimProcess.h"

#include "sim/UniqueFd.h"
#include "support/Bytes.h"
#include "support/ReadFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using qm240lx::test::SimProcess;

namespace {

// A host program's side of the line, opened with plain POSIX calls:
// non-blocking, every wait bounded by poll().
struct PtyClient
{
    explicit PtyClient(const QString& path)
        : fd(::open(qPrintable(path), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {}
    bool write(const QByteArray& bytes) const
    {
        return ::write(fd.get(), bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    }
    QByteArray read(qsizetype count) const { return qm240lx::test::readFd(fd.get(), count, 2000); }

    qm240lx::sim::UniqueFd fd;
};

using qm240lx::test::bytes;

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A malformed flash file gives way to the start bytes, with a notice; a save
// replaces it, and only what was saved is there at the next power-on.
TEST(SimProcess, FlashFileKeepsWhatWasSavedAcrossRuns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("flash.bin"));
    ASSERT_TRUE(writeFile(path, "garbage"));
    const std::tuple<QStringList, bool, std::vector<std::pair<const char*, const char*>>> runs[] = {
        {{"--p-byte", "0x02"}, true, {{"ad ae06 aa63 af", "039202 fafafa"}, {"ab01", "fa"}}},
        {{"--h-byte", "0x01"}, false, {{"ad", "066302"}}}};
    for (const auto& [arguments, notice, exchanges] : runs) {
        SimProcess sim;
        ASSERT_TRUE(sim.start(QStringList{"--flash", path} + arguments))
            << sim.errorString().toStdString();
        EXPECT_EQ(sim.standardError().contains(path), notice);
        PtyClient host(sim.devicePath());
        for (const auto& [write, reply] : exchanges) {
            ASSERT_TRUE(host.write(bytes(write)));
            EXPECT_EQ(host.read(bytes(reply).size()), bytes(reply));
        }
        EXPECT_TRUE(sim.stop());
        EXPECT_EQ(readFile(path), bytes("066302"));
    }
}

// A host that opens the line through the link, closes it and opens it again
// loses nothing meant for it; the link replaces an old link and goes at exit,
// but never replaces a file.
TEST(SimProcess, LinkLeadsEveryOpenerToTheLineAndGoesAtExit)
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyQM240LX"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--link", link})) << sim.errorString().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), sim.devicePath());
    ASSERT_TRUE(PtyClient(link).write(bytes("ac")));
    ASSERT_TRUE(sim.waitForSent(1)) << "answered with nobody on the line";
    {
        PtyClient host(link);
        ::tcflush(host.fd.get(), TCIFLUSH); // the answer nobody read
        ASSERT_TRUE(host.write(bytes("ad")));
        EXPECT_EQ(host.read(3), bytes("039200"));
    }
    PtyClient next(link);
    ASSERT_TRUE(next.write(bytes("ae13ad")));
    EXPECT_EQ(next.read(4), bytes("fa139200"));
    EXPECT_TRUE(sim.stop());
    struct stat status = {};
    EXPECT_NE(::lstat(qPrintable(link), &status), 0);

    const QString file = dir.filePath(QStringLiteral("precious"));
    ASSERT_TRUE(writeFile(file, "keep"));
    SimProcess refused;
    EXPECT_FALSE(refused.start({"--link", file}));
    EXPECT_TRUE(refused.waitForExit());
    EXPECT_FALSE(refused.exitedCleanly());
    EXPECT_EQ(readFile(file), QByteArray("keep"));
}

} // namespace
