// The built qm240lx against the adapter emulator. The outcomes of each
// exchange are the engine's; these check what the tool makes of them: exit
// codes, texts, JSON, and the bytes that reach the adapter.
#include "CliProcess.h"
#include "support/Bytes.h"
#include "support/InterruptedRun.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"
#include "support/TestPort.h"

#include <csignal>
#include <cstring>
#include <linux/capability.h>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScopeGuard>
#include <QSerialPort>
#include <QThread>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::bytes;
using test::CliProcess;
using test::expectEnd;
using test::hex;
using test::InterruptedRun;
using test::SimProcess;
using test::StartedSim;
using test::TestPort;
using test::withoutRepeatedReads;
using test::words;

// On the emulator, and on the adapter QM240LX_TEST_PORT names: detection, a
// read, and one setting changed, read back changed, put back and read back as
// it was. The primary protocol is the setting: it leaves the link alone.
class CliOnAnAdapter : public testing::TestWithParam<TestPort::Kind>
{
};

TEST_P(CliOnAnAdapter, DetectsReadsAndSetsOneSettingAndBack)
{
    const TestPort adapter(GetParam());
    ASSERT_TRUE(adapter.problem().isEmpty()) << adapter.problem().toStdString();
    const auto cli = [&](const QStringList& arguments) { // on the default port, COM1
        return CliProcess::run(arguments, {{1, adapter.devicePath()}});
    };
    const auto read = [&] { return cli(words("--json read")).json(); };
    expectEnd(cli(words("detect")), 0, "QM240LX ready on COM1");
    const QJsonObject original = read();
    ASSERT_TRUE(original.contains("protocol")) << "no configuration read";
    const QString protocol = original["protocol"].toString();
    const auto [other, otherByte] =
        protocol == "obex" ? std::pair("irlpt", "0x01") : std::pair("obex", "0x02");
    {
        const auto putBack = qScopeGuard([&] {
            expectEnd(cli({"set", "--protocol", protocol}), 0, ": set");
        });
        expectEnd(cli({"set", "--protocol", other}), 0,
                  QStringLiteral("-> %1: set").arg(otherByte));
        EXPECT_EQ(read()["protocol"].toString(), other);
    }
    EXPECT_EQ(read(), original);
    if (adapter.maySaveToFlash())
        expectEnd(cli(words("save")), 0, "saved into flash on COM1");

    if (const SimProcess* sim = adapter.emulator()) { // from P-Byte 0x00, IrComm
        const QByteArray wire = bytes("ac acad acadab02ad acad acadab00ad acad acaf");
        sim->waitForReceived(wire.size());
        EXPECT_EQ(hex(adapter.comparable(sim->received())), hex(wire));
    }
}

INSTANTIATE_TEST_SUITE_P(On, CliOnAnAdapter, testing::ValuesIn(TestPort::kinds()),
                         [](const auto& info) { return TestPort::name(info.param); });

// The emulator starts from H-Byte 0x03, D-Byte 0x92, P-Byte 0x00; each case
// runs at memory speed and on a line paced at 9600 baud.
TEST(Cli, EndsAndTalksToTheAdapterAsExpected)
{
    struct Case
    {
        const char* sim;
        const char* cli; // the emulator is COM5
        int exitCode;
        const char* received;      // all the emulator heard, in order
        QString mentions;          // on standard output after a success, standard error otherwise
        QString afterFailure = {}; // on standard output after a failure
    };
    const Case cases[] = {
        {"--h-byte 0x1F --d-byte 0xF9 --p-byte 0x02", "--port com5 read", 0, "acad",
         "Host baud rate:    115200 bps\nIgnore CTS:        yes\nIgnore DSR:        yes\n"
         "Mode:              secondary-only (Secondary only)\nDiscovery slots:   6\n"
         "Discovery time:    5 s\nPrimary protocol:  obex (OBEX Transport)\n"
         "Raw bytes:         H-Byte 0x1F  D-Byte 0xF9  P-Byte 0x02\n"},
        {"--h-byte 0xE3 --d-byte 0x96", "--port 5 set --ignore-cts yes --slots 6 --save", 0,
         "acad ae13ad aa90ad af",
         "H-Byte 0x03 -> 0x13: set\nD-Byte 0x92 -> 0x90: set\nConfiguration saved into flash."},
        {"--h-byte 0xE3", "--port 5 set --baud 9600", 0, "acad", "Nothing to change."},
        {"--stray-bits 0xE0", "--port 5 set --baud 57600", 0, "acad ae06ad",
         "H-Byte 0x03 -> 0x06: set"}, // confirmed by the fields of a read-back of 0xE6
        {"", "--port 5 set", 64, "", "at least one setting"},
        {"--probe-answer 0xEE", "--port 5 save", 69, "ac", "no adapter"},
        {"--unplug-after 3", "--port 5 set --baud 2400", 74, "acadae", "lost"},
        // After a failed upload, a read-back tells what the adapter took.
        {"--reject 3", "--port 5 set --baud 2400", 76, "acad ae01 ae01 ae01 ad",
         "rejected the H-Byte 0x01 three times", "configuration is unchanged; nothing was saved"},
        {"--reject 1 --reject-byte 0xFA", "--port 5 set --baud 2400", 76, "acad ae01ad ad",
         "H-Byte 0x01 is not confirmed: the adapter holds 0x03"},
        {"--reject 3 --reject-ops aa", "--port 5 set --baud 2400 --slots 6 --save", 76,
         "acad ae01ad aa90 aa90 aa90 ad", "rejected the D-Byte 0x90 three times",
         "The adapter took H-Byte 0x03 -> 0x01 before the failure; nothing was saved"},
        {"--reject 1 --reject-ops af", "--port 5 set --baud 4800 --save", 76, "acad ae02ad af",
         "refused to save", "took H-Byte 0x03 -> 0x02 before the failure; whether the save"},
        // Stray bytes after answers: never taken for a reply; after the
        // read-back's, its reply is not taken at all, and nothing is sent.
        {"--extra 2 --extra-byte 0x55,0xFA --extra-ops ac,ae,af",
         "--port 5 set --baud 57600 --save", 0, "acad ae06ad af", "H-Byte 0x03 -> 0x06: set"},
        {"--extra 2 --extra-byte 0x55,0xFA", "--port 5 set --baud 57600 --save", 76, "acad ad",
         "sent more bytes than its configuration"},
    };
    for (const char* line : {"", " --pace 9600"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.sim) + line + " / " + c.cli);
            StartedSim sim(words((std::string(c.sim) + line).c_str()));
            const CliProcess run = CliProcess::run(words(c.cli), {{5, sim.devicePath()}});
            expectEnd(run, c.exitCode, c.mentions);
            EXPECT_TRUE(run.standardOutput().contains(c.afterFailure)) << run.out.toStdString();
            const QByteArray received = bytes(c.received);
            sim.waitForReceived(received.size());
            const auto comparable = [&](const QByteArray& wire) { // as TestPort compares
                return *line ? withoutRepeatedReads(wire) : wire;
            };
            EXPECT_EQ(hex(comparable(sim.received())), hex(comparable(received)));
        }
    }
}

TEST(Cli, JsonGivesOneObject)
{
    struct Case
    {
        const char* sim;
        const char* cli;      // DEVICE stands for the emulator's device, which is also COM9
        const char* expected; // without the "device" key
        int exitCode = 0;
    };
    const Case cases[] = {
        {"--h-byte 0x13 --d-byte 0x63 --p-byte 0x01", "--json --port 9 read",
         R"({"port": 9, "h_byte": 19, "d_byte": 99, "p_byte": 1, "baud": 9600,
             "ignore_cts": true, "ignore_dsr": false, "mode": "secondary-only", "slots": 1,
             "discovery_time_s": 2, "protocol": "irlpt"})"},
        {"", "--json set --port DEVICE --ignore-dsr yes --slots 6 --save",
         R"({"port": null, "h_byte": 11, "d_byte": 144, "p_byte": 0, "baud": 9600,
             "ignore_cts": false, "ignore_dsr": true, "mode": "primary-secondary", "slots": 6,
             "discovery_time_s": 3, "protocol": "ircomm", "changed": ["h_byte", "d_byte"],
             "saved": true})"},
        {"--reject 3", "--json set --port DEVICE --baud 2400",
         R"({"port": null, "error": "DEVICE: the adapter rejected the H-Byte 0x01 three times",
             "error_kind": "rejected", "changed": [], "saved": false})",
         76},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cli);
        StartedSim sim(words(c.sim));
        const QStringList arguments = words(c.cli).replaceInStrings("DEVICE", sim.devicePath());
        const CliProcess run = CliProcess::run(arguments, {{9, sim.devicePath()}});
        const QString text = QString(c.expected).replace("DEVICE", sim.devicePath());
        QJsonObject expected = QJsonDocument::fromJson(text.toUtf8()).object();
        ASSERT_FALSE(expected.isEmpty());
        expected.insert("device", sim.devicePath());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(run.json(), expected) << run.out.toStdString();
    }
}

TEST(Cli, TraceShowsEveryByteWrittenReadAndDropped)
{
    StartedSim sim(words("--extra 1 --extra-ops ac --extra-byte 0x55"));
    const CliProcess run =
        CliProcess::run(words("--trace --port 5 set --baud 19200"), {{5, sim.devicePath()}});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    sim.waitForReceived(5);
    EXPECT_EQ(hex(run.tracedWrites()), hex(sim.received()));
    for (const char* line : {" ms  COM5 rd FA\n", " ms  COM5 drop 55\n", " ms  COM5 rd 04 92 00\n"})
        EXPECT_TRUE(run.standardError().contains(QLatin1String(line))) << line;
    EXPECT_TRUE(run.standardOutput().contains(QLatin1String("19200 bps")));
}

// Nobody may open a device of mode 0: root, once it gives up its right to
// override the mode.
CliProcess runWithoutAccessTo(const QString& device, const QStringList& arguments,
                              const QMap<int, QString>& comOverrides)
{
    EXPECT_EQ(::chmod(device.toLocal8Bit().constData(), 0), 0);
    const CliProcess::ChildSetup withoutOverride = [] {
        if (::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 && ::geteuid() == 0)
            ::_exit(99);
    };
    return CliProcess::run(arguments, comOverrides, withoutOverride);
}

TEST(Cli, APortThatCannotBeOpenedEndsWithItsOwnCode)
{
    StartedSim sim;
    const QStringList detect = words("--port 5 detect");
    const QMap<int, QString> com5{{5, sim.devicePath()}};

    expectEnd(CliProcess::run(words("--port /dev/qm240lx-test-absent detect"), {}), 74,
              "The serial device /dev/qm240lx-test-absent does not exist.");
    {
        QSerialPort holder(sim.devicePath());
        ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
        expectEnd(CliProcess::run(detect, com5), 75, "in use");
    }
    expectEnd(runWithoutAccessTo(sim.devicePath(), detect, com5), 77, "dialout");
    EXPECT_TRUE(sim.received().isEmpty());
}

// The tool ends its wait at once, closes and unlocks its port, says no more
// than "interrupted" and ends as a shell expects. A late answer shows that
// the wait did not run on: the read-back would follow it.
TEST(Cli, ASignalDuringAWaitEndsTheToolAndFreesThePort)
{
    struct Case
    {
        int signal;
        const char* sim;
        const char* cli; // the emulator is COM5
    };
    const Case cases[] = {{SIGINT, "--silent all", "--port 5 detect"},
                          {SIGTERM, "--delay 1500", "--port 5 read"},
                          {SIGHUP, "--silent all", "scan --only-overrides"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + " / " + c.cli);
        StartedSim sim(words(c.sim));
        const InterruptedRun run =
            InterruptedRun::run(QStringLiteral(QM240LX_CLI_PATH), words(c.cli),
                                CliProcess::environment({{5, sim.devicePath()}}), sim, c.signal);
        ASSERT_TRUE(run.probed) << run.err.toStdString();
        EXPECT_EQ(run.locksWhileWaiting.size(), 1) << run.locksWhileWaiting.join(' ').toStdString();
        ASSERT_TRUE(run.finished);
        EXPECT_TRUE(run.exitedNormally);
        EXPECT_EQ(run.exitCode, 128 + c.signal);
        EXPECT_EQ(run.err, "qm240lx: interrupted\n");
        EXPECT_TRUE(run.locksAfter.isEmpty()) << run.locksAfter.join(' ').toStdString();
        EXPECT_EQ(sim.received(), bytes("ac"));
    }
}

// Whether process `pid` waits in a read of its standard input.
bool readsStandardInput(qint64 pid)
{
    QFile calls(QStringLiteral("/proc/%1/syscall").arg(pid));
    if (!calls.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = calls.readAll().split(' ');
    return fields.size() > 1 && fields[0] == "0" && fields[1] == "0x0";
}

// Ports or a profile on a pipe that never ends: a signal still ends the
// tool, which holds no port yet.
TEST(Cli, ASignalWhileThePortsOrTheProfileAreReadEndsTheTool)
{
    const std::pair<const char*, int> cases[] = {{"--port @- read", SIGTERM},
                                                 {"--port 5 apply -", SIGINT}};
    for (const auto& [cli, signal] : cases) {
        SCOPED_TRACE(cli);
        QProcess tool;
        tool.start(QStringLiteral(QM240LX_CLI_PATH), words(cli));
        ASSERT_TRUE(tool.waitForStarted());
        const QDeadlineTimer patience(30000);
        while (!readsStandardInput(tool.processId()) && !patience.hasExpired())
            QThread::msleep(5);
        ASSERT_TRUE(readsStandardInput(tool.processId()));
        ::kill(static_cast<pid_t>(tool.processId()), signal);
        ASSERT_TRUE(tool.waitForFinished(30000)) << "the signal waited for the input to end";
        EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(tool.exitCode(), signal);
    }
}

// Network ports are probed with the others; one nothing listens on is no
// adapter.
TEST(Cli, ScanFindsExactlyTheAdaptersThatAnswerReady)
{
    const std::pair<int, const char*> emulators[] = {
        {3, ""},
        {17, "--silent all"},
        {40, "--extra 2 --extra-byte 0x00"}, // only the first byte counts
        {41, "--probe-answer 0x55 --extra 1"},
        {200, "--delay 300"}};
    std::vector<std::unique_ptr<StartedSim>> sims;
    QMap<int, QString> overrides{{90, "/dev/qm240lx-test-absent"}};
    for (const auto& [com, arguments] : emulators) {
        sims.push_back(std::make_unique<StartedSim>(words(arguments)));
        overrides.insert(com, sims.back()->devicePath());
    }
    const auto device = [&](int index) { return sims[index]->devicePath(); };
    const StartedSim served;
    test::Ser2net server;
    ASSERT_TRUE(server.start(served.devicePath())) << server.errorString().toStdString();
    overrides.insert(5, server.rfc2217Address());
    overrides.insert(6, QStringLiteral("tcp://127.0.0.1:%1").arg(test::Ser2net::freePort()));

    const CliProcess json = CliProcess::run(words("--json scan --only-overrides"), overrides);
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonArray found{QJsonObject{{"port", 3}, {"device", device(0)}},
                           QJsonObject{{"port", 5}, {"device", server.rfc2217Address()}},
                           QJsonObject{{"port", 40}, {"device", device(2)}},
                           QJsonObject{{"port", 200}, {"device", device(4)}}};
    EXPECT_EQ(json.json(), QJsonObject({{"ports", found}})) << json.out.toStdString();
    for (const auto& sim : sims) {
        sim->waitForReceived(1);
        EXPECT_EQ(sim->received(), bytes("ac"))
            << "one probe on " << sim->devicePath().toStdString();
    }

    const CliProcess text =
        CliProcess::run(words("scan --only-overrides"), {{8, device(0)}, {9, device(3)}});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.standardOutput(), QStringLiteral("COM8   %1\n").arg(device(0)));

    const CliProcess none =
        CliProcess::run(words("--json scan --only-overrides"), {{9, device(3)}});
    EXPECT_EQ(none.exitCode, 69);
    EXPECT_EQ(none.json(), QJsonObject({{"ports", QJsonArray()}}));
    EXPECT_TRUE(none.standardError().startsWith(QLatin1String("qm240lx: ")))
        << none.err.toStdString();
}

} // namespace
} // namespace qm240lx
