#include "link/QtSerialComm.h"

#include "link/ComMap.h"
#include "sim/UniqueFd.h"
#include "support/Finish.h"
#include "support/PortLocks.h"
#include "support/ReadFd.h"

#include <array>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <tuple>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

constexpr int waitLimitMs = 5000;
constexpr int testCom = 250;

// The test plays the adapter on the master side; QtSerialComm opens the slave.
struct PseudoTerminal
{
    PseudoTerminal()
    {
        int masterFd = -1, slaveFd = -1;
        std::array<char, 128> name{};
        if (::openpty(&masterFd, &slaveFd, name.data(), nullptr, nullptr) != 0)
            return;
        master.reset(masterFd);
        slave.reset(slaveFd);
        path = QString::fromLocal8Bit(name.data());
        // Keeps the line discipline from echoing or holding back what the test writes.
        termios raw = settings();
        ::cfmakeraw(&raw);
        ::tcsetattr(slaveFd, TCSANOW, &raw);
    }
    termios settings() const
    {
        termios settings{};
        ::tcgetattr(slave.get(), &settings);
        return settings;
    }
    bool send(const QByteArray& bytes) const
    {
        return ::write(master.get(), bytes.constData(), bytes.size()) == bytes.size();
    }
    // What the port has written so far, read without handling events: the
    // bytes must have left without the event loop.
    QByteArray receive(qsizetype count) const { return test::readFd(master.get(), count); }

    sim::UniqueFd master, slave;
    QString path;
};

// Descriptors of this process on the terminal of `fd`, counted by device
// number, since the slave's name vanishes with the master.
int descriptorsOnTerminalOf(int fd)
{
    struct stat terminal = {}, info = {};
    ::fstat(fd, &terminal);
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::Files | QDir::System))
        count += ::stat(qPrintable(fds.filePath(entry)), &info) == 0 && S_ISCHR(info.st_mode) &&
                 info.st_rdev == terminal.st_rdev;
    return count;
}

// The port is closed after failing with `kind` on `device`, named in the message.
void expectFailure(const QtSerialComm& port, PortError::Kind kind, const QString& device,
                   const QString& named)
{
    const PortError error = port.lastError();
    EXPECT_EQ(error.kind, kind) << error.message.toStdString();
    EXPECT_EQ(error.device, device);
    EXPECT_TRUE(error.message.contains(named)) << error.message.toStdString();
    EXPECT_FALSE(port.portOpen());
}

class QtSerialCommTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.master.isValid()) << "openpty failed";
        qputenv(qPrintable(comOverrideVariable(testCom)), pty.path.toLocal8Bit());
        comm.setCommPort(testCom);
    }
    void TearDown() override { qunsetenv(qPrintable(comOverrideVariable(testCom))); }

    void openPort()
    {
        ASSERT_TRUE(test::finish(comm.open())) << comm.lastError().message.toStdString();
    }
    bool waitForWaitingBytes(int count)
    {
        return QTest::qWaitFor([&] { return comm.inBufferCount().value_or(-1) >= count; },
                               waitLimitMs);
    }

    PseudoTerminal pty;
    QtSerialComm comm;
};

TEST_F(QtSerialCommTest, AppliesTheFixedLineSettings)
{
    termios odd = pty.settings();
    ::cfsetspeed(&odd, B19200);
    odd.c_cflag = (odd.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    odd.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    odd.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP | INPCK;
    odd.c_oflag |= OPOST;
    ASSERT_EQ(::tcsetattr(pty.slave.get(), TCSANOW, &odd), 0);

    openPort();
    const termios line = pty.settings();
    const speed_t b9600 = B9600;
    EXPECT_EQ(std::pair(::cfgetispeed(&line), ::cfgetospeed(&line)), std::pair(b9600, b9600));
    // 8N1 without flow control; raw bytes both ways.
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
    EXPECT_EQ(line.c_oflag & OPOST, tcflag_t(0));
}

// Bytes sent before the opening are gone; the rest pass unchanged and in order.
TEST_F(QtSerialCommTest, CarriesEveryByteUnchangedAndInputTakesAtMostInputLen)
{
    ASSERT_TRUE(pty.send("stale"));
    openPort();
    EXPECT_TRUE(comm.output(QByteArray("\xAE\x00", 2)));
    EXPECT_TRUE(comm.output(QByteArray(1, '\x06')));
    EXPECT_EQ(pty.receive(3), QByteArray("\xAE\x00\x06", 3));

    EXPECT_EQ(comm.inputLen(), 0) << "takes every waiting byte";
    comm.setInputLen(2);
    ASSERT_TRUE(pty.send(QByteArray("\x00\xFA\x0A\x0D\x11", 5)));
    ASSERT_TRUE(waitForWaitingBytes(5));
    EXPECT_EQ(comm.input(), QByteArray("\x00\xFA", 2));
    EXPECT_EQ(comm.inBufferCount(), 3);
    comm.setInputLen(0);
    EXPECT_EQ(comm.input(), QByteArray("\x0A\x0D\x11", 3));
    ASSERT_TRUE(pty.send("\x22\x33"));
    ASSERT_TRUE(waitForWaitingBytes(2));
    comm.discardInput();
    EXPECT_EQ(comm.inBufferCount(), 0);
}

TEST_F(QtSerialCommTest, HangupLosesAndClosesThePort)
{
    openPort();
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave.get()), 2);
    QSignalSpy lost(&comm, &QtSerialComm::portLost);
    pty.master.reset();
    ASSERT_TRUE(lost.wait(waitLimitMs));

    expectFailure(comm, PortError::Kind::Lost, pty.path, pty.path);
    EXPECT_EQ(comm.inBufferCount(), std::nullopt);
    EXPECT_EQ(comm.input(), std::nullopt);
    EXPECT_FALSE(comm.output(QByteArray(1, '\xAC')));
    QTest::qWait(0);
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave.get()), 1) << "only the test's own slave is open";
    EXPECT_EQ(lost.count(), 1);
    comm.close();
}

// The fixture's port is open and holds the real lock. A second opener is
// told why it may not open, and may once the first has closed the port.
// QSerialPort removes a stale lock file it may remove; one it may not is told
// of as such, owner or not: here one in a folder of the test's.
TEST_F(QtSerialCommTest, RefusalsNameTheDeviceAndTheReason)
{
    openPort();
    const QTemporaryDir lockFolder;
    const QString lockPath = QFileInfo(lockFolder.path()).canonicalFilePath() + "/LCK.." +
                             pty.path.mid(5).replace('/', '_');
    const QString dead = QString::number(test::pidThatNoLongerRuns());
    const QString busy = QString("%1 is in use by another program (pid %2)").arg(pty.path);
    const QString stale = "%1 is held by the stale lock file %2 left by pid %3, which no longer "
                          "runs; its owner or root must remove it.";
    qunsetenv("QM240LX_COM200");
    using enum PortError::Kind;
    const std::tuple<int, QString, PortError::Kind, QString, QString> cases[] = {
        {testCom, {}, Busy, pty.path, busy.arg(::getpid())},
        {testCom, dead + "\nqm240lx-setup\nhost\n", StaleLock, pty.path, // QSerialPort's
         stale.arg(pty.path, lockPath, dead + " (qm240lx-setup)")},
        {testCom, "    " + dead + "\n", StaleLock, pty.path, stale.arg(pty.path, lockPath, dead)},
        {200, {}, NoSuchDevice, {}, "COM200"},
    };
    for (const auto& [com, lockContent, kind, device, named] : cases) {
        SCOPED_TRACE(named.toStdString());
        QtSerialComm second;
        second.setCommPort(com);
        if (!lockContent.isEmpty()) {
            QFile lock(lockPath);
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
            lock.write(lockContent.toLatin1());
            second.setLockDirectories({lockFolder.path()});
        }
        EXPECT_FALSE(test::finish(second.open()));
        expectFailure(second, kind, device, named);
    }
    QtSerialComm second;
    second.setCommPort(testCom);
    EXPECT_FALSE(test::finish(second.open()));
    EXPECT_TRUE(comm.portOpen()) << "the first opener keeps the port";
    comm.close();
    EXPECT_TRUE(test::finish(second.open())) << second.lastError().message.toStdString();
    EXPECT_EQ(second.lastError().kind, PortError::Kind::None);
}

TEST_F(QtSerialCommTest, ConsoleIsNeverOpened)
{
    const QString console = pty.path;
    QtSerialComm guarded([&](int) { return std::optional(console); },
                         [&](const QString& device) { return device == console; });
    const sim::UniqueFd watcher(::inotify_init1(IN_NONBLOCK));
    ASSERT_GE(::inotify_add_watch(watcher.get(), qPrintable(console), IN_OPEN), 0);

    EXPECT_FALSE(test::finish(guarded.open()));
    std::array<char, 4096> events{};
    EXPECT_LE(::read(watcher.get(), events.data(), events.size()), 0) << "the console was opened";
    expectFailure(guarded, PortError::Kind::SystemConsole, console, console);
}

// Counts the firings of a far-off timer: a wait that wakes in time sees none.
TEST_F(QtSerialCommTest, SerialDataIsNews)
{
    openPort();
    int news = 0;
    comm.setNewsHandler([&news] { ++news; });
    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));
    EXPECT_TRUE(QTest::qWaitFor([&news] { return news > 0; }, 20000));
    EXPECT_EQ(comm.inBufferCount(), 1);
}

// The dispatcher can run a discard between seeing bytes on the device and
// Qt's read of them, which then finds nothing: no loss, and reading goes on.
TEST_F(QtSerialCommTest, ADiscardOfAnnouncedBytesLeavesThePortWorking)
{
    openPort();
    QSignalSpy lost(&comm, &QtSerialComm::portLost);
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(pty.send("\x55\xFA"));
        pollfd announced{pty.slave.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&announced, 1, waitLimitMs), 1);
        QMetaObject::invokeMethod(
            &comm, [this] { comm.discardInput(); }, Qt::QueuedConnection);
        QTest::qWait(2);
    }
    EXPECT_EQ(lost.count(), 0) << comm.lastError().message.toStdString();
    ASSERT_TRUE(comm.portOpen());
    comm.discardInput();
    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));
    EXPECT_TRUE(waitForWaitingBytes(1));
}

} // namespace
} // namespace qm240lx
