#include "link/QtSerialComm.h"

#include "link/ComMap.h"
#include "link/QtEventPump.h"

#include <array>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
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
    int master = -1;
    int slave = -1;
    QString slavePath;

    PseudoTerminal()
    {
        std::array<char, 128> name{};
        if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0)
            return;
        slavePath = QString::fromLocal8Bit(name.data());
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        makeRaw();
    }
    ~PseudoTerminal()
    {
        closeMaster();
        if (slave >= 0)
            ::close(slave);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Keeps the line discipline from echoing or holding back what the test writes.
    void makeRaw() const
    {
        termios settings{};
        ::tcgetattr(slave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    termios slaveSettings() const
    {
        termios settings{};
        ::tcgetattr(slave, &settings);
        return settings;
    }
    bool send(const QByteArray& bytes) const
    {
        return ::write(master, bytes.constData(), bytes.size()) == bytes.size();
    }
    // Whatever the port wrote, once `count` bytes have come or the wait ran
    // out. Handles no events: the bytes must have left without the event loop.
    QByteArray receive(int count) const
    {
        QByteArray received;
        pollfd readable{master, POLLIN, 0};
        while (received.size() < count && ::poll(&readable, 1, waitLimitMs) > 0) {
            std::array<char, 64> chunk{};
            const ssize_t n = ::read(master, chunk.data(), chunk.size());
            if (n <= 0)
                break;
            received.append(chunk.data(), n);
        }
        return received;
    }
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
};

// How many descriptors of this process are open on the same terminal as
// `fd`; counted by device number, since the slave's name vanishes with the master.
int descriptorsOnTerminalOf(int fd)
{
    struct stat terminal = {};
    if (::fstat(fd, &terminal) != 0)
        return -1;
    int count = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& entry : fds.entryList(QDir::Files | QDir::System)) {
        struct stat info = {};
        if (::stat(fds.filePath(entry).toLocal8Bit().constData(), &info) == 0 &&
            S_ISCHR(info.st_mode) && info.st_rdev == terminal.st_rdev)
            ++count;
    }
    return count;
}

bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b);
}

class QtSerialCommTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(pty.slavePath.isEmpty()) << "openpty failed";
        qputenv(comOverrideVariable(testCom).toLatin1().constData(), pty.slavePath.toLocal8Bit());
        comm.setCommPort(testCom);
    }
    void TearDown() override { qunsetenv(comOverrideVariable(testCom).toLatin1().constData()); }

    void openPort()
    {
        ASSERT_TRUE(comm.setPortOpen(true)) << comm.lastError().message.toStdString();
    }
    bool waitForWaitingBytes(int count)
    {
        return QTest::qWaitFor([&] { return comm.inBufferCount().value_or(-1) >= count; },
                               waitLimitMs);
    }

    PseudoTerminal pty;
    QtSerialComm comm;
};

TEST_F(QtSerialCommTest, OpensAndClosesTheMappedDevice)
{
    EXPECT_EQ(comm.commPort(), testCom);
    EXPECT_EQ(comm.deviceName(), pty.slavePath);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_TRUE(comm.setPortOpen(false)) << "closing a closed port is no error";

    openPort();
    EXPECT_TRUE(comm.portOpen());
    EXPECT_FALSE(comm.lastError().isError());
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave), 2);
    EXPECT_TRUE(comm.setPortOpen(true)) << "opening an open port keeps it open";

    EXPECT_TRUE(comm.setPortOpen(false));
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave), 1);
    openPort();
    EXPECT_TRUE(comm.portOpen()) << "a closed port opens again";
}

TEST_F(QtSerialCommTest, ClosedPortRefusesEveryTransfer)
{
    EXPECT_FALSE(comm.output(QByteArray(1, '\xAC')));
    EXPECT_EQ(comm.inBufferCount(), std::nullopt);
    EXPECT_EQ(comm.input(), std::nullopt);
    comm.discardInput();
    EXPECT_EQ(comm.inBufferCount(), std::nullopt);
}

TEST_F(QtSerialCommTest, ComNumberChangesOnlyWithinRangeWhileClosed)
{
    const struct
    {
        int requested;
        int expected;
    } cases[] = {{1, 1}, {255, 255}, {0, 255}, {256, 255}, {-3, 255}, {testCom, testCom}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        comm.setCommPort(c.requested);
        EXPECT_EQ(comm.commPort(), c.expected);
    }
    openPort();
    comm.setCommPort(1);
    EXPECT_EQ(comm.commPort(), testCom) << "the open port keeps its number";
}

TEST_F(QtSerialCommTest, AppliesTheFixedLineSettings)
{
    termios odd = pty.slaveSettings();
    ::cfsetispeed(&odd, B19200);
    ::cfsetospeed(&odd, B19200);
    odd.c_cflag = (odd.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | CRTSCTS;
    odd.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    odd.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP | INPCK;
    odd.c_oflag |= OPOST;
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &odd), 0);

    openPort();
    const termios line = pty.slaveSettings();
    EXPECT_EQ(::cfgetispeed(&line), speed_t(B9600));
    EXPECT_EQ(::cfgetospeed(&line), speed_t(B9600));
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
    const struct
    {
        const char* name;
        tcflag_t flags;
        tcflag_t mustBeClear;
    } cleared[] = {
        {"parity", line.c_cflag, PARENB},
        {"two stop bits", line.c_cflag, CSTOPB},
        {"hardware flow control", line.c_cflag, CRTSCTS},
        {"software flow control", line.c_iflag, IXON | IXOFF},
        {"input translation", line.c_iflag, ICRNL | INLCR | IGNCR | ISTRIP},
        {"line editing and echo", line.c_lflag, ICANON | ECHO | ISIG | IEXTEN},
        {"output processing", line.c_oflag, OPOST},
    };
    for (const auto& c : cleared) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.flags & c.mustBeClear, tcflag_t(0));
    }
}

TEST_F(QtSerialCommTest, WritesBytesInOrder)
{
    openPort();
    EXPECT_TRUE(comm.output(QByteArray(1, '\xAE')));
    EXPECT_TRUE(comm.output(QByteArray(1, '\x00')));
    EXPECT_TRUE(comm.output(QByteArray(1, '\x06')));
    EXPECT_EQ(pty.receive(3), QByteArray("\xAE\x00\x06", 3));
}

TEST_F(QtSerialCommTest, InputTakesAtMostInputLenBytes)
{
    openPort();
    ASSERT_TRUE(pty.send(QByteArray("\x11\x22\x33\x44\x55", 5)));
    ASSERT_TRUE(waitForWaitingBytes(5));

    comm.setInputLen(3);
    EXPECT_EQ(comm.inputLen(), 3);
    const struct
    {
        QByteArray read;
        int leftWaiting;
    } steps[] = {
        {QByteArray("\x11\x22\x33", 3), 2},
        {QByteArray("\x44\x55", 2), 0},
        {QByteArray(), 0},
    };
    for (const auto& step : steps) {
        const std::optional<QByteArray> got = comm.input();
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(*got, step.read);
        EXPECT_EQ(comm.inBufferCount(), step.leftWaiting);
    }
}

TEST_F(QtSerialCommTest, ZeroInputLenTakesEverythingWaiting)
{
    openPort();
    EXPECT_EQ(comm.inputLen(), 0);
    ASSERT_TRUE(pty.send(QByteArray("\xFA\x01\x02\x03", 4)));
    ASSERT_TRUE(waitForWaitingBytes(4));
    EXPECT_EQ(comm.input(), QByteArray("\xFA\x01\x02\x03", 4));
}

TEST_F(QtSerialCommTest, KeepsZeroBytes)
{
    openPort();
    const QByteArray reply("\x00\xFA\x00", 3);
    ASSERT_TRUE(pty.send(reply));
    ASSERT_TRUE(waitForWaitingBytes(3));
    comm.setInputLen(3);
    EXPECT_EQ(comm.input(), reply);
}

TEST_F(QtSerialCommTest, DiscardInputDropsEverythingWhateverInputLen)
{
    openPort();
    comm.setInputLen(1);
    ASSERT_TRUE(pty.send(QByteArray("\x01\x02\x03\x04\x05", 5)));
    ASSERT_TRUE(waitForWaitingBytes(5));
    comm.discardInput();
    EXPECT_EQ(comm.inBufferCount(), 0);

    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));
    ASSERT_TRUE(waitForWaitingBytes(1));
    EXPECT_EQ(comm.input(), QByteArray(1, '\xFA'));
}

TEST_F(QtSerialCommTest, BytesSentBeforeOpeningAreGone)
{
    ASSERT_TRUE(pty.send(QByteArray("stale", 5)));
    openPort();
    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));
    ASSERT_TRUE(waitForWaitingBytes(1));
    QTest::qWait(0);
    EXPECT_EQ(comm.input(), QByteArray(1, '\xFA'));
}

TEST_F(QtSerialCommTest, HangupLosesAndClosesThePort)
{
    openPort();
    QSignalSpy lost(&comm, &QtSerialComm::portLost);
    pty.closeMaster();
    ASSERT_TRUE(lost.wait(waitLimitMs));

    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(comm.inBufferCount(), std::nullopt);
    EXPECT_EQ(comm.input(), std::nullopt);
    EXPECT_FALSE(comm.output(QByteArray(1, '\xAC')));
    const PortError error = comm.lastError();
    EXPECT_EQ(error.kind, PortError::Kind::Lost);
    EXPECT_EQ(error.device, pty.slavePath);
    EXPECT_TRUE(error.message.contains(pty.slavePath)) << error.message.toStdString();

    QTest::qWait(0);
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave), 1) << "only the test's own slave stays open";
    EXPECT_EQ(lost.count(), 1);
    EXPECT_TRUE(comm.setPortOpen(false));
}

TEST_F(QtSerialCommTest, SecondOpenerFindsThePortBusy)
{
    openPort();
    QtSerialComm second;
    second.setCommPort(testCom);
    EXPECT_FALSE(second.setPortOpen(true));
    EXPECT_FALSE(second.portOpen());
    const PortError error = second.lastError();
    EXPECT_EQ(error.kind, PortError::Kind::Busy) << error.message.toStdString();
    EXPECT_EQ(error.device, pty.slavePath);
    EXPECT_TRUE(error.message.contains(pty.slavePath));
    EXPECT_TRUE(error.message.contains(QStringLiteral("pid %1").arg(::getpid())))
        << error.message.toStdString();
    EXPECT_TRUE(comm.portOpen()) << "the first opener keeps the port";

    comm.setPortOpen(false);
    EXPECT_TRUE(second.setPortOpen(true)) << second.lastError().message.toStdString();
}

TEST_F(QtSerialCommTest, DeviceWithoutAccessRightsIsPermissionDenied)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root passes every access check, so no device can be kept from it";
    ASSERT_EQ(::chmod(pty.slavePath.toLocal8Bit().constData(), 0), 0);
    EXPECT_FALSE(comm.setPortOpen(true));
    const PortError error = comm.lastError();
    EXPECT_EQ(error.kind, PortError::Kind::PermissionDenied) << error.message.toStdString();
    EXPECT_TRUE(error.message.contains(pty.slavePath));
    EXPECT_TRUE(error.message.contains(QStringLiteral("dialout")));
}

TEST_F(QtSerialCommTest, NumbersWithoutAPresentDeviceFailAsNoSuchDevice)
{
    const QString missing = QStringLiteral("/dev/qm240lx-no-such-device");
    qputenv("QM240LX_COM249", missing.toLocal8Bit());
    qunsetenv("QM240LX_COM200");
    const struct
    {
        int com;
        QString device;
    } cases[] = {{200, QString()}, {249, missing}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.com);
        comm.setCommPort(c.com);
        EXPECT_EQ(comm.deviceName(), c.device);
        EXPECT_FALSE(comm.setPortOpen(true));
        EXPECT_FALSE(comm.portOpen());
        const PortError error = comm.lastError();
        EXPECT_EQ(error.kind, PortError::Kind::NoSuchDevice);
        EXPECT_EQ(error.device, c.device);
        EXPECT_TRUE(
            error.message.contains(c.device.isEmpty() ? QStringLiteral("COM200") : c.device))
            << error.message.toStdString();
    }
    qunsetenv("QM240LX_COM249");
}

TEST_F(QtSerialCommTest, ConsoleIsNeverOpened)
{
    const QString slave = pty.slavePath;
    QtSerialComm guarded([&](int) { return std::optional<QString>(slave); },
                         [&](const QString& device) { return device == slave; });
    termios odd = pty.slaveSettings();
    ::cfsetispeed(&odd, B4800);
    ::cfsetospeed(&odd, B4800);
    ASSERT_EQ(::tcsetattr(pty.slave, TCSANOW, &odd), 0);
    const termios before = pty.slaveSettings();
    const int watcher = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(::inotify_add_watch(watcher, slave.toLocal8Bit().constData(), IN_OPEN), 0);

    EXPECT_FALSE(guarded.setPortOpen(true));
    std::array<char, 4096> events{};
    EXPECT_LE(::read(watcher, events.data(), events.size()), 0) << "the console was opened";
    ::close(watcher);
    EXPECT_FALSE(guarded.portOpen());
    const PortError error = guarded.lastError();
    EXPECT_EQ(error.kind, PortError::Kind::SystemConsole);
    EXPECT_EQ(error.device, slave);
    EXPECT_TRUE(error.message.contains(slave));
    EXPECT_TRUE(sameSettings(pty.slaveSettings(), before));
    EXPECT_EQ(descriptorsOnTerminalOf(pty.slave), 1);
}

TEST_F(QtSerialCommTest, ErrorIsClearedByTheNextGoodOpening)
{
    comm.setCommPort(200);
    qunsetenv("QM240LX_COM200");
    ASSERT_FALSE(comm.setPortOpen(true));
    ASSERT_TRUE(comm.lastError().isError());
    comm.setCommPort(testCom);
    openPort();
    EXPECT_EQ(comm.lastError().kind, PortError::Kind::None);
}

TEST(QtEventPumpTest, SerialDataWakesTheWait)
{
    PseudoTerminal pty;
    ASSERT_FALSE(pty.slavePath.isEmpty());
    QtSerialComm comm([&](int) { return std::optional<QString>(pty.slavePath); },
                      [](const QString&) { return false; });
    ASSERT_TRUE(comm.setPortOpen(true)) << comm.lastError().message.toStdString();
    QtEventPump pump;
    ASSERT_TRUE(pty.send(QByteArray(1, '\xFA')));

    QElapsedTimer clock;
    clock.start();
    for (int pass = 0; pass < 20 && comm.inBufferCount() == 0; ++pass)
        pump.processEvents(60000);
    EXPECT_EQ(comm.inBufferCount(), 1);
    EXPECT_LT(clock.elapsed(), 30000) << "the wait ran to its limit instead of waking on data";
}

TEST(QtEventPumpTest, EmptyWaitEndsAtItsLimit)
{
    QtEventPump pump(QEventLoop::ExcludeUserInputEvents);
    // Without the pump's own timer only this far-off one would end the wait.
    QTimer backstop;
    backstop.setSingleShot(true);
    backstop.start(20000);
    QElapsedTimer clock;
    clock.start();
    pump.processEvents(1);
    EXPECT_LT(clock.elapsed(), 10000);
}

TEST(QtEventPumpTest, PostedWorkRunsWithinTheWait)
{
    QtEventPump pump;
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    for (int pass = 0; pass < 20 && !ran; ++pass)
        pump.processEvents(60000);
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace qm240lx
