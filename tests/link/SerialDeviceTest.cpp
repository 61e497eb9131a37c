#include "link/SerialDevice.h"

#include "async/QtAlarm.h"
#include "link/PortMaker.h"
#include "naming/ComMap.h"
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

// The test plays the adapter on the master side; SerialDevice opens the slave.
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
void expectFailure(const Layer& port, PortError::Kind kind, const QString& device,
                   const QString& named)
{
    const PortError error = port.failure();
    EXPECT_EQ(error.kind, kind) << error.message.toStdString();
    EXPECT_EQ(error.device, device);
    EXPECT_TRUE(error.message.contains(named)) << error.message.toStdString();
    EXPECT_FALSE(port.isOpen());
}

bool open(Layer& device)
{
    QtAlarm alarm;
    Deadline deadline(alarm, systemTick, 3000);
    return test::finish(device.open(deadline));
}

SerialDevice deviceAt(const QString& path,
                      QStringList lockDirectories = PortLock::systemDirectories())
{
    return SerialDevice(
        path, testCom, [](const QString&) { return false; }, lockDirectories);
}

class SerialDeviceTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pty.master.isValid()) << "openpty failed"; }

    void openPort() { ASSERT_TRUE(open(comm)) << comm.failure().message.toStdString(); }
    bool waitForWaitingBytes(int count)
    {
        return QTest::qWaitFor([&] { return comm.waiting().value_or(-1) >= count; }, waitLimitMs);
    }

    PseudoTerminal pty;
    SerialDevice comm{pty.path, testCom, [](const QString&) { return false; },
                      PortLock::systemDirectories()};
};

TEST_F(SerialDeviceTest, AppliesTheFixedLineSettings)
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
TEST_F(SerialDeviceTest, CarriesEveryByteUnchangedAndTakeTakesAtMostWhatIsAsked)
{
    ASSERT_TRUE(pty.send("stale"));
    openPort();
    EXPECT_TRUE(comm.write(QByteArray("\xAE\x00", 2)));
    EXPECT_TRUE(comm.write(QByteArray(1, '\x06')));
    EXPECT_EQ(pty.receive(3), QByteArray("\xAE\x00\x06", 3));

    ASSERT_TRUE(pty.send(QByteArray("\x00\xFA\x0A\x0D\x11", 5)));
    ASSERT_TRUE(waitForWaitingBytes(5));
    EXPECT_EQ(comm.take(2), QByteArray("\x00\xFA", 2));
    EXPECT_EQ(comm.waiting(), 3);
    EXPECT_EQ(comm.take(8), QByteArray("\x0A\x0D\x11", 3));
    ASSERT_TRUE(pty.send("\x22\x33"));
    ASSERT_TRUE(waitForWaitingBytes(2));
    comm.discard();
    EXPECT_EQ(comm.waiting(), 0);
}

TEST_F(SerialDeviceTest, HangupLosesAndClosesThePort)
{
    openPort();
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave.get()), 2);
    QSignalSpy lost(&comm, &SerialDevice::portLost);
    pty.master.reset();
    ASSERT_TRUE(lost.wait(waitLimitMs));

    expectFailure(comm, PortError::Kind::Lost, pty.path, pty.path);
    EXPECT_EQ(comm.waiting(), std::nullopt);
    EXPECT_EQ(comm.take(1), std::nullopt);
    EXPECT_FALSE(comm.write(QByteArray(1, '\xAC')));
    QTest::qWait(0);
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave.get()), 1) << "only the test's own slave is open";
    EXPECT_EQ(lost.count(), 1);
    comm.close();
}

// The fixture's port is open and holds the real lock. A second opener is
// told why it may not open, and may once the first has closed the port.
// QSerialPort removes a stale lock file it may remove; one it may not is told
// of as such, owner or not: here one in a folder of the test's.
TEST_F(SerialDeviceTest, RefusalsNameTheDeviceAndTheReason)
{
    openPort();
    const QTemporaryDir lockFolder;
    const QString lockPath = QFileInfo(lockFolder.path()).canonicalFilePath() + "/LCK.." +
                             pty.path.mid(5).replace('/', '_');
    const QString dead = QString::number(test::pidThatNoLongerRuns());
    const QString busy = QString("%1 is in use by another program (pid %2)").arg(pty.path);
    const QString stale = "%1 is held by the stale lock file %2 left by pid %3, which no longer "
                          "runs; its owner or root must remove it.";
    using enum FailureKind;
    const std::tuple<QString, PortError::Kind, QString, QString> cases[] = {
        {{}, Busy, pty.path, busy.arg(::getpid())},
        {dead + "\nqm240lx-setup\nhost\n", StaleLock, pty.path, // QSerialPort's
         stale.arg(pty.path, lockPath, dead + " (qm240lx-setup)")},
        {"    " + dead + "\n", StaleLock, pty.path, stale.arg(pty.path, lockPath, dead)},
        {{}, DeviceNotFound, pty.path + "-gone", pty.path + "-gone (COM250) does not exist"},
    };
    for (const auto& [lockContent, kind, device, named] : cases) {
        SCOPED_TRACE(named.toStdString());
        QStringList lockDirectories = PortLock::systemDirectories();
        if (!lockContent.isEmpty()) {
            QFile lock(lockPath);
            ASSERT_TRUE(lock.open(QIODevice::WriteOnly | QIODevice::Truncate));
            lock.write(lockContent.toLatin1());
            lockDirectories = {lockFolder.path()};
        }
        SerialDevice second = deviceAt(device, lockDirectories);
        EXPECT_FALSE(open(second));
        expectFailure(second, kind, device, named);
    }
    SerialDevice second = deviceAt(pty.path);
    EXPECT_FALSE(open(second));
    EXPECT_TRUE(comm.isOpen()) << "the first opener keeps the port";
    comm.close();
    EXPECT_TRUE(open(second)) << second.failure().message.toStdString();
    EXPECT_EQ(second.failure().kind, PortError::Kind::None);
}

// A COM number that stands for nothing makes a port that says so.
TEST(PortMaker, ANumberWithoutADeviceMakesAPortThatCannotOpen)
{
    QtAlarm alarm;
    const auto port = PortMaker({}, alarm, systemTick).makeForCom(200, [](const QString&) {
        return std::optional<QString>();
    });
    EXPECT_FALSE(test::finish(port->open()));
    EXPECT_EQ(port->failure().kind, PortError::Kind::NoComDevice);
    EXPECT_TRUE(port->failure().message.contains("COM200 stands for no serial device"));
}

TEST_F(SerialDeviceTest, ConsoleIsNeverOpened)
{
    const QString console = pty.path;
    SerialDevice guarded(console, testCom, [&](const QString& device) { return device == console; },
                         {});
    const sim::UniqueFd watcher(::inotify_init1(IN_NONBLOCK));
    ASSERT_GE(::inotify_add_watch(watcher.get(), qPrintable(console), IN_OPEN), 0);

    EXPECT_FALSE(open(guarded));
    std::array<char, 4096> events{};
    EXPECT_LE(::read(watcher.get(), events.data(), events.size()), 0) << "the console was opened";
    expectFailure(guarded, PortError::Kind::SystemConsole, console, console);
}

// Counts the firings of a far-off timer: a wait that wakes in time sees none.
TEST_F(SerialDeviceTest, SerialDataIsNews)
{
    openPort();
    int news = 0;
    comm.setNewsHandler([&news] { ++news; });
    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));
    EXPECT_TRUE(QTest::qWaitFor([&news] { return news > 0; }, 20000));
    EXPECT_EQ(comm.waiting(), 1);
}

// The dispatcher can run a discard between seeing bytes on the device and
// Qt's read of them, which then finds nothing: no loss, and reading goes on.
TEST_F(SerialDeviceTest, ADiscardOfAnnouncedBytesLeavesThePortWorking)
{
    openPort();
    QSignalSpy lost(&comm, &SerialDevice::portLost);
    for (int round = 0; round < 40; ++round) {
        ASSERT_TRUE(pty.send("\x55\xFA"));
        pollfd announced{pty.slave.get(), POLLIN, 0};
        ASSERT_EQ(::poll(&announced, 1, waitLimitMs), 1);
        QMetaObject::invokeMethod(
            &comm, [this] { comm.discard(); }, Qt::QueuedConnection);
        QTest::qWait(2);
    }
    EXPECT_EQ(lost.count(), 0) << comm.failure().message.toStdString();
    ASSERT_TRUE(comm.isOpen());
    comm.discard();
    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));
    EXPECT_TRUE(waitForWaitingBytes(1));
}

} // namespace
} // namespace qm240lx
