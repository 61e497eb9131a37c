#include "CliProcess.h"
#include "support/SimProcess.h"

#include <grp.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QSerialPort>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::CliProcess;
using test::SimProcess;

constexpr int emulatedCom = 5;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result.append(static_cast<char>(value));
    return result;
}

QStringList words(std::initializer_list<const char*> list)
{
    QStringList result;
    for (const char* word : list)
        result << QString::fromLatin1(word);
    return result;
}

// Each failure is one line on standard error and nothing on standard output.
void expectOneErrorLine(const CliProcess& run)
{
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    const QStringList lines = run.standardError().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << run.err.toStdString();
    EXPECT_TRUE(lines.first().startsWith(QLatin1String("qm240lx: "))) << run.err.toStdString();
}

struct RunCase
{
    const char* name;
    QStringList simArguments;
    int com; // the COM number the emulator is mapped to
    QStringList cliArguments;
    int exitCode;
    QByteArray received; // everything the emulator must have heard, in order
    QString mentions;    // on standard output after a success, standard error otherwise
};

void PrintTo(const RunCase& c, std::ostream* out)
{
    *out << c.name;
}

class AgainstEmulator : public testing::TestWithParam<RunCase>
{
};

TEST_P(AgainstEmulator, ExitsAndWritesAsExpected)
{
    const RunCase& c = GetParam();
    SimProcess sim;
    ASSERT_TRUE(sim.start(c.simArguments)) << sim.errorString().toStdString();

    const CliProcess run = CliProcess::run(c.cliArguments, {{c.com, sim.devicePath()}});

    ASSERT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    sim.waitForReceived(c.received.size());
    EXPECT_EQ(sim.received().toHex(' '), c.received.toHex(' '));
    if (c.exitCode == 0) {
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_TRUE(run.standardOutput().contains(c.mentions)) << run.out.toStdString();
    } else {
        expectOneErrorLine(run);
        EXPECT_TRUE(run.standardError().contains(c.mentions)) << run.err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AgainstEmulator,
    testing::Values(
        RunCase{"detectOnDefaultCom1", {}, 1, words({"detect"}), 0, bytes({0xAC}), "ready on COM1"},
        RunCase{"detectSilence", words({"--silent", "all"}), emulatedCom,
                words({"--port", "5", "detect"}), 69, bytes({0xAC}), "nothing answered"},
        RunCase{"detectWrongAnswer", words({"--probe-answer", "0x00"}), emulatedCom,
                words({"--port", "COM5", "detect"}), 69, bytes({0xAC}), "acknowledgement"},
        RunCase{"readPrintsEverySetting",
                words({"--h-byte", "0x1F", "--d-byte", "0xF9", "--p-byte", "0x02"}), emulatedCom,
                words({"--port", "com5", "read"}), 0, bytes({0xAC, 0xAD}),
                "Host baud rate:    115200 bps\nIgnore CTS:        yes\nIgnore DSR:        yes\n"
                "Mode:              secondary-only (Secondary only)\nDiscovery slots:   6\n"
                "Discovery time:    5 s\nPrimary protocol:  obex (OBEX Transport)\n"
                "Raw bytes:         H-Byte 0x1F  D-Byte 0xF9  P-Byte 0x02\n"},
        RunCase{"readWithoutAdapter", words({"--silent", "all"}), emulatedCom,
                words({"--port", "5", "read"}), 69, bytes({0xAC}), "no adapter"},
        RunCase{"readShortReply", words({"--short-readback"}), emulatedCom,
                words({"--port", "5", "read"}), 76, bytes({0xAC, 0xAD}), "configuration"},
        RunCase{"readUnplugged", words({"--unplug-after", "2"}), emulatedCom,
                words({"--port", "5", "read"}), 74, bytes({0xAC, 0xAD}), "lost"},
        RunCase{"setCleansStrayBits", words({"--h-byte", "0xE3"}), emulatedCom,
                words({"--port", "5", "set", "--ignore-cts", "yes"}), 0,
                bytes({0xAC, 0xAD, 0xAE, 0x13, 0xAD}), "H-Byte 0x03 -> 0x13: set"},
        RunCase{"setTwoBytesAndSave",
                {},
                emulatedCom,
                words({"--port", "5", "set", "--baud", "57600", "--protocol", "obex", "--save"}),
                0,
                bytes({0xAC, 0xAD, 0xAE, 0x06, 0xAD, 0xAB, 0x02, 0xAD, 0xAF}),
                "Configuration saved into flash."},
        RunCase{"setDiscoveryFields",
                {},
                emulatedCom,
                words({"--port", "5", "set", "--mode", "secondary-only", "--discovery-time", "4"}),
                0,
                bytes({0xAC, 0xAD, 0xAA, 0xCB, 0xAD}),
                "D-Byte 0x92 -> 0xCB: set"},
        RunCase{"setClearsUndefinedDBit", words({"--d-byte", "0x96"}), emulatedCom,
                words({"--port", "5", "set", "--slots", "6"}), 0,
                bytes({0xAC, 0xAD, 0xAA, 0x90, 0xAD}), "Discovery slots:   6"},
        RunCase{"setHiddenProtocol",
                {},
                emulatedCom,
                words({"--port", "5", "set", "--protocol", "irsocket", "--ignore-dsr", "no"}),
                0,
                bytes({0xAC, 0xAD, 0xAB, 0x03, 0xAD}),
                "irsocket (IrSocket)"},
        RunCase{"setUnchangedSendsNothing",
                {},
                emulatedCom,
                words({"--port", "5", "set", "--baud", "9600", "--slots", "1"}),
                0,
                bytes({0xAC, 0xAD}),
                "Nothing to change."},
        RunCase{"setRejectedThreeTimes", words({"--reject", "3"}), emulatedCom,
                words({"--port", "5", "set", "--baud", "2400"}), 76,
                bytes({0xAC, 0xAD, 0xAE, 0x01, 0xAE, 0x01, 0xAE, 0x01}),
                "rejected the H-Byte 0x01 three times"},
        RunCase{"setAcceptedOnSecondAttempt", words({"--reject", "1"}), emulatedCom,
                words({"--port", "5", "set", "--baud", "2400"}), 0,
                bytes({0xAC, 0xAD, 0xAE, 0x01, 0xAE, 0x01, 0xAD}), "2400 bps"},
        RunCase{"setSilentButReadBack", words({"--silent", "ae"}), emulatedCom,
                words({"--port", "5", "set", "--baud", "2400"}), 0,
                bytes({0xAC, 0xAD, 0xAE, 0x01, 0xAD}), "H-Byte 0x03 -> 0x01: set"},
        RunCase{"setAcknowledgedButNotHeld", words({"--reject", "1", "--reject-byte", "0xFA"}),
                emulatedCom, words({"--port", "5", "set", "--baud", "2400"}), 76,
                bytes({0xAC, 0xAD, 0xAE, 0x01, 0xAD}),
                "H-Byte 0x01 is not confirmed: the adapter holds 0x03"},
        RunCase{"setSilentAndNotHeld", words({"--silent", "ae", "--reject", "1"}), emulatedCom,
                words({"--port", "5", "set", "--baud", "2400"}), 76,
                bytes({0xAC, 0xAD, 0xAE, 0x01, 0xAD}),
                "H-Byte 0x01 is not confirmed: the adapter holds 0x03"},
        RunCase{"setThenSaveRefused", words({"--reject", "1", "--reject-ops", "af"}), emulatedCom,
                words({"--port", "5", "set", "--baud", "4800", "--save"}), 76,
                bytes({0xAC, 0xAD, 0xAE, 0x02, 0xAD, 0xAF}), "refused to save"},
        RunCase{"setUnpluggedDuringUpload", words({"--unplug-after", "3"}), emulatedCom,
                words({"--port", "5", "set", "--baud", "2400"}), 74, bytes({0xAC, 0xAD, 0xAE}),
                "lost"},
        RunCase{"save",
                {},
                emulatedCom,
                words({"--port", "5", "save"}),
                0,
                bytes({0xAC, 0xAF}),
                "saved into flash on COM5"},
        RunCase{"saveSilence", words({"--silent", "af"}), emulatedCom,
                words({"--port", "5", "save"}), 76, bytes({0xAC, 0xAF}), "did not confirm"},
        RunCase{"saveWithoutAdapter", words({"--probe-answer", "0xEE"}), emulatedCom,
                words({"--port", "5", "save"}), 69, bytes({0xAC}), "no adapter"},
        RunCase{"usageErrorTouchesNothing",
                {},
                emulatedCom,
                words({"--port", "5", "set"}),
                64,
                {},
                "at least one setting"},
        RunCase{"portOutsideTheList",
                {},
                emulatedCom,
                words({"--port", "256", "read"}),
                64,
                {},
                "--port 256"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliJson, ReadGivesOneObjectWithBytesAndSettings)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start(words({"--h-byte", "0x13", "--d-byte", "0x63", "--p-byte", "0x01"})))
        << sim.errorString().toStdString();
    const CliProcess run =
        CliProcess::run(words({"--json", "--port", "9", "read"}), {{9, sim.devicePath()}});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject expected{
        {"port", 9},
        {"device", sim.devicePath()},
        {"h_byte", 0x13},
        {"d_byte", 0x63},
        {"p_byte", 0x01},
        {"baud", 9600},
        {"ignore_cts", true},
        {"ignore_dsr", false},
        {"mode", "secondary-only"},
        {"slots", 1},
        {"discovery_time_s", 2},
        {"protocol", "irlpt"},
    };
    EXPECT_EQ(run.json(), expected) << run.out.toStdString();
}

TEST(CliJson, SetReportsTheBytesItChangedAndTheResult)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    const CliProcess run =
        CliProcess::run(words({"--json", "set", "--port", sim.devicePath().toLatin1().constData(),
                               "--ignore-dsr", "yes", "--slots", "6", "--save"}),
                        {});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject json = run.json();
    EXPECT_EQ(json.value("changed").toArray(), QJsonArray({"h_byte", "d_byte"}));
    EXPECT_EQ(json.value("saved").toBool(), true);
    EXPECT_EQ(json.value("h_byte").toInt(), 0x0B);
    EXPECT_EQ(json.value("d_byte").toInt(), 0x90);
    EXPECT_EQ(json.value("ignore_dsr").toBool(), true);
    EXPECT_EQ(json.value("slots").toInt(), 6);
    EXPECT_TRUE(json.value("port").isNull());
    EXPECT_EQ(json.value("device").toString(), sim.devicePath());
    EXPECT_EQ(sim.received(), bytes({0xAC, 0xAD, 0xAE, 0x0B, 0xAD, 0xAA, 0x90, 0xAD, 0xAF}));
}

TEST(CliTrace, ShowsEveryByteWrittenAndRead)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start(words({"--extra", "1", "--extra-ops", "ac", "--extra-byte", "0x55"})))
        << sim.errorString().toStdString();
    const CliProcess run =
        CliProcess::run(words({"--trace", "--port", "5", "set", "--baud", "19200"}),
                        {{emulatedCom, sim.devicePath()}});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    sim.waitForReceived(5);
    EXPECT_EQ(run.tracedWrites().toHex(' '), sim.received().toHex(' '));
    EXPECT_TRUE(run.standardError().contains(QLatin1String(" ms  COM5 rd FA\n")));
    EXPECT_TRUE(run.standardError().contains(QLatin1String(" ms  COM5 drop 55\n")));
    EXPECT_TRUE(run.standardError().contains(QLatin1String(" ms  COM5 rd 04 92 00\n")));
    EXPECT_TRUE(run.standardOutput().contains(QLatin1String("19200 bps")));
}

struct OpenFailureCase
{
    const char* name;
    QString device;
    int com;
    int exitCode;
    const char* mentions;
};

void PrintTo(const OpenFailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class UnopenablePort : public testing::TestWithParam<OpenFailureCase>
{
};

TEST_P(UnopenablePort, EndsWithTheReason)
{
    const OpenFailureCase& c = GetParam();
    QMap<int, QString> overrides;
    if (!c.device.isEmpty())
        overrides.insert(c.com, c.device);
    const CliProcess run =
        CliProcess::run({QStringLiteral("--port"), QString::number(c.com), "read"}, overrides);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    expectOneErrorLine(run);
    EXPECT_TRUE(run.standardError().contains(QLatin1String(c.mentions))) << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Ports, UnopenablePort,
    testing::Values(OpenFailureCase{"absentDevice", "/dev/qm240lx-test-absent", 7, 74,
                                    "does not exist"},
                    OpenFailureCase{"notASerialDevice", "/dev/null", 7, 74, "/dev/null"},
                    OpenFailureCase{"comWithoutDevice", {}, 200, 74, "QM240LX_COM200"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliPort, BusyWhileAnotherProgramHoldsIt)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    QSerialPort holder(sim.devicePath());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();

    const CliProcess run =
        CliProcess::run(words({"--port", "5", "detect"}), {{emulatedCom, sim.devicePath()}});
    EXPECT_EQ(run.exitCode, 75) << run.err.toStdString();
    expectOneErrorLine(run);
    EXPECT_TRUE(run.standardError().contains(QLatin1String("in use"))) << run.err.toStdString();
    EXPECT_TRUE(sim.received().isEmpty());
}

// Root may open any device, so the tool then runs as nobody; anyone else
// loses access by the device's mode.
TEST(CliPort, PermissionDeniedNamesTheDialoutGroup)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
    const QByteArray device = sim.devicePath().toLocal8Bit();
    CliProcess::ChildSetup asNobody;
    if (::geteuid() == 0) {
        asNobody = [] {
            constexpr uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                ::_exit(99);
        };
        ASSERT_EQ(::chmod(device.constData(), 0600), 0);
    } else {
        ASSERT_EQ(::chmod(device.constData(), 0), 0);
    }
    const CliProcess run = CliProcess::run(words({"--port", "5", "detect"}),
                                           {{emulatedCom, sim.devicePath()}}, asNobody);
    EXPECT_EQ(run.exitCode, 77) << run.err.toStdString();
    expectOneErrorLine(run);
    EXPECT_TRUE(run.standardError().contains(QLatin1String("dialout"))) << run.err.toStdString();
}

TEST(CliScan, FindsExactlyTheEmulatorsThatAnswerReady)
{
    const std::vector<QStringList> arguments{{},
                                             words({"--silent", "all"}),
                                             {},
                                             words({"--probe-answer", "0x00"}),
                                             words({"--reject", "3"})};
    std::vector<std::unique_ptr<SimProcess>> sims;
    QMap<int, QString> overrides;
    const int coms[] = {3, 17, 40, 41, 200};
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        sims.push_back(std::make_unique<SimProcess>());
        ASSERT_TRUE(sims.back()->start(arguments[index]))
            << sims.back()->errorString().toStdString();
        overrides.insert(coms[index], sims.back()->devicePath());
    }
    overrides.insert(90, QStringLiteral("/dev/qm240lx-test-absent"));

    const CliProcess run =
        CliProcess::run(words({"--json", "scan", "--only-overrides"}), overrides);

    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray expected{
        QJsonObject{{"port", 3}, {"device", sims[0]->devicePath()}},
        QJsonObject{{"port", 40}, {"device", sims[2]->devicePath()}},
        QJsonObject{{"port", 200}, {"device", sims[4]->devicePath()}},
    };
    EXPECT_EQ(run.json(), QJsonObject({{"ports", expected}})) << run.out.toStdString();
    for (const auto& sim : sims) {
        sim->waitForReceived(1);
        EXPECT_EQ(sim->received(), bytes({0xAC}))
            << "one probe on " << sim->devicePath().toStdString();
    }
}

TEST(CliScan, ListsPortsForPeopleAndFailsWhenNoneAnswers)
{
    SimProcess ready;
    SimProcess silent;
    ASSERT_TRUE(ready.start()) << ready.errorString().toStdString();
    ASSERT_TRUE(silent.start(words({"--silent", "all"}))) << silent.errorString().toStdString();

    const CliProcess found = CliProcess::run(words({"scan", "--only-overrides"}),
                                             {{8, ready.devicePath()}, {9, silent.devicePath()}});
    EXPECT_EQ(found.exitCode, 0) << found.err.toStdString();
    EXPECT_EQ(found.standardOutput().toStdString(),
              QStringLiteral("COM8   %1\n").arg(ready.devicePath()).toStdString());

    const CliProcess none =
        CliProcess::run(words({"--json", "scan", "--only-overrides"}), {{9, silent.devicePath()}});
    EXPECT_EQ(none.exitCode, 69);
    EXPECT_EQ(none.json(), QJsonObject({{"ports", QJsonArray()}}));
    EXPECT_TRUE(none.standardError().startsWith(QLatin1String("qm240lx: ")))
        << none.err.toStdString();
}

TEST(CliVersion, NamesTheVersion)
{
    const CliProcess run = CliProcess::run(words({"--version"}), {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.standardOutput(), QStringLiteral("qm240lx " QM240LX_VERSION "\n"));
}

} // namespace
} // namespace qm240lx
