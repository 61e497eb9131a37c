// The built qm240lx and qm240lx-setup against the adapter emulator behind the
// real ser2net, over RFC 2217 and over raw TCP.
#include "CliProcess.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"

#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::CliProcess;
using test::expectEnd;
using test::Ser2net;

enum class Kind
{
    Rfc2217,
    RawTcp,
};

// The emulator and a ser2net that opens its device at `line` for each client.
struct Served
{
    explicit Served(const QStringList& simArguments = {},
                    const QString& line = QStringLiteral("9600n81"))
        : sim(simArguments)
    {
        EXPECT_TRUE(server.start(sim.devicePath(), line)) << server.errorString().toStdString();
    }
    QString address(Kind kind) const
    {
        return kind == Kind::Rfc2217 ? server.rfc2217Address() : server.tcpAddress();
    }
    test::StartedSim sim;
    Ser2net server;
};

class OverTheNetwork : public testing::TestWithParam<Kind>
{
};

// Every byte the tool wrote reaches the adapter as it is: no telnet sequence
// gets through, and what is saved lands in the adapter's flash.
TEST_P(OverTheNetwork, DetectsReadsAndSavesASetting)
{
    QTemporaryDir dir;
    const QString flash = dir.filePath("flash");
    Served served({"--flash", flash});
    const QString address = served.address(GetParam());

    // By name too: the host is looked up, and each of its addresses tried.
    const QString byName = QString(address).replace("127.0.0.1", "localhost");
    const CliProcess detected = CliProcess::run({"--port", byName, "detect"}, {});
    EXPECT_EQ(detected.exitCode, 0) << detected.err.toStdString();
    EXPECT_TRUE(detected.standardOutput().contains("ready on " + byName));

    const CliProcess before = CliProcess::run({"--port", address, "--json", "read"}, {});
    ASSERT_EQ(before.exitCode, 0) << before.err.toStdString();
    const QString protocol = before.json()["protocol"].toString() == "irlpt" ? "obex" : "irlpt";

    const qsizetype receivedBefore = served.sim.received().size();
    const CliProcess set = CliProcess::run(
        {"--port", address, "--json", "--trace", "set", "--protocol", protocol, "--save"}, {});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(set.json()["protocol"].toString(), protocol);
    EXPECT_TRUE(set.json()["saved"].toBool());
    test::expectSavedThrough(set, served.sim, receivedBefore, flash);
}

// While the probe waits for a silent adapter, the device is at 9600 8N1
// without flow control over RFC 2217, and as ser2net opened it over raw TCP.
// A pseudo-terminal keeps the speed, the stop bits and the flow control it
// is given, but always reports 8 data bits and no parity.
TEST_P(OverTheNetwork, Rfc2217SetsTheLineAndRawTcpLeavesItAlone)
{
    Served served({"--silent", "ac"}, QStringLiteral("1200n82,rtscts"));
    QProcess detect;
    detect.setProcessEnvironment(CliProcess::environment({}));
    detect.start(QStringLiteral(QM240LX_CLI_PATH),
                 {"--port", served.address(GetParam()), "detect"});
    ASSERT_TRUE(served.sim.waitForReceived(1));
    const int fd = ::open(QFile::encodeName(served.sim.devicePath()).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios line{};
    ASSERT_EQ(::tcgetattr(fd, &line), 0);
    ::close(fd);
    const bool rfc2217 = GetParam() == Kind::Rfc2217;
    EXPECT_EQ(::cfgetospeed(&line), rfc2217 ? B9600 : B1200);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB), CS8);
    EXPECT_EQ((line.c_cflag & CSTOPB) != 0, !rfc2217);
    EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, !rfc2217);
    ASSERT_TRUE(detect.waitForFinished(10000));
    EXPECT_EQ(detect.exitCode(), 69) << detect.readAllStandardError().toStdString();
}

// Nothing listening, through --port and through the COM map, and a host no
// name service knows (RFC 6761 keeps .invalid so).
TEST_P(OverTheNetwork, AnUnreachablePortIsAnInputOutputError)
{
    const QString scheme = GetParam() == Kind::Rfc2217 ? "rfc2217" : "tcp";
    const QString address =
        QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(Ser2net::freePort());
    const CliProcess run = CliProcess::run({"--port", address, "read"}, {});
    expectEnd(run, 74, address);
    EXPECT_TRUE(run.standardError().contains("refused")) << run.err.toStdString();
    expectEnd(CliProcess::run({"--port", "COM7", "read"}, {{7, address}}), 74, address);
    const QString unknown = scheme + "://no-such-host.invalid:4001";
    expectEnd(CliProcess::run({"--port", unknown, "read"}, {}), 74, unknown);
}

INSTANTIATE_TEST_SUITE_P(Ser2net, OverTheNetwork, testing::Values(Kind::Rfc2217, Kind::RawTcp),
                         [](const auto& info) {
                             return info.param == Kind::Rfc2217 ? "Rfc2217" : "RawTcp";
                         });

TEST(NetworkPorts, MalformedAddressesAreUsageErrors)
{
    const struct
    {
        QString address;
        bool throughComMap;
        const char* program;
        QStringList command{"detect"}; // none for the window
    } cases[] = {
        {"tcp://127.0.0.1", false, QM240LX_CLI_PATH},
        {"rfc2217://127.0.0.1:0", false, QM240LX_CLI_PATH},
        {"rfc2217://127.0.0.1:65536", false, QM240LX_CLI_PATH},
        {"rfc2217://:4001", false, QM240LX_CLI_PATH},
        {"telnet://127.0.0.1:4001", false, QM240LX_CLI_PATH},
        {"tcp+tls://127.0.0.1", true, QM240LX_CLI_PATH},
        {"rfc2217+tls://127.0.0.1:0", false, QM240LX_SETUP_PATH, {}},
        {"tcp://127.0.0.1:0", true, QM240LX_CLI_PATH},
        {"ssh://127.0.0.1:22", true, QM240LX_CLI_PATH},
        {"tcp://127.0.0.1:99999", false, QM240LX_SETUP_PATH, {}},
        {"udp://127.0.0.1:4001", false, QM240LX_SETUP_PATH, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address.toStdString());
        const CliProcess run =
            c.throughComMap
                ? CliProcess::run({"--port", "COM3", "detect"}, {{3, c.address}}, {}, c.program)
                : CliProcess::run(QStringList{"--port", c.address} << c.command, {}, {}, c.program);
        expectEnd(run, 64, c.address);
    }
}

// Ports failing for different reasons side by side: each entry of the report
// names its kind, and a single command's failure is JSON on standard output
// as well as a line on standard error.
TEST(NetworkPorts, EachFailureHasItsKindInTheJsonReports)
{
    QTemporaryDir dir;
    QFile profile(dir.filePath("site.json"));
    ASSERT_TRUE(profile.open(QIODevice::WriteOnly));
    profile.write(R"({"baud": 9600})");
    profile.close();
    const test::StartedSim silent({"--silent", "ac"});
    const QString refused = QStringLiteral("tcp://127.0.0.1:%1").arg(Ser2net::freePort());
    const struct
    {
        QString port;
        QString named; // in the entry's error
        const char* kind;
    } cases[] = {
        {refused, refused, "connection_refused"},
        {"rfc2217://no-such-host.invalid:4001", "no-such-host.invalid", "unknown_host"},
        {"COM200", "COM200", "no_com_device"},
        {"COM3", "ssh://127.0.0.1:22", "bad_address"},
        {"/dev/qm240lx-no-such-device", "/dev/qm240lx-no-such-device", "device_not_found"},
        {silent.devicePath(), "nothing answered the probe", "no_adapter"},
    };
    QStringList arguments{"--json"};
    for (const auto& c : cases)
        arguments << "--port" << c.port;
    const CliProcess apply =
        CliProcess::run(arguments << "apply" << profile.fileName(), {{3, "ssh://127.0.0.1:22"}});
    const QJsonArray entries = apply.json()["ports"].toArray();
    ASSERT_EQ(entries.size(), std::size(cases)) << apply.out.toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port.toStdString());
        const auto entry = std::find_if(entries.begin(), entries.end(), [&](const auto& e) {
            return e.toObject()["error"].toString().contains(c.named);
        });
        ASSERT_NE(entry, entries.end()) << apply.out.toStdString();
        EXPECT_EQ(entry->toObject()["error_kind"].toString(), c.kind);
    }

    const CliProcess read = CliProcess::run({"--json", "--port", refused, "read"}, {});
    EXPECT_EQ(read.exitCode, 74);
    const QJsonObject error = read.json()["error"].toObject();
    EXPECT_EQ(error["kind"].toString(), "connection_refused") << read.out.toStdString();
    EXPECT_TRUE(error["message"].toString().contains("refused the connection"));
    EXPECT_TRUE(read.standardError().contains(error["message"].toString()));
}

} // namespace
} // namespace qm240lx
