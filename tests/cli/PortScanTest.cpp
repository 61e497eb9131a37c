#include "cli/PortScan.h"

#include "link/QtEventPump.h"
#include "support/SimProcess.h"

#include <ostream>

#include <QMap>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using Port = PortScan::Port;

struct CandidateCase
{
    const char* name;
    QList<int> comNumbers;
    QMap<QString, QString> environment;
    QStringList existing;
    QStringList consoles;
    QList<Port> expected;
};

void PrintTo(const CandidateCase& c, std::ostream* out)
{
    *out << c.name;
}

class ScanCandidates : public testing::TestWithParam<CandidateCase>
{
};

TEST_P(ScanCandidates, KeepsExistingNonConsoleDevicesOnce)
{
    const CandidateCase& c = GetParam();
    const EnvLookup env = [&](const QString& name) -> std::optional<QString> {
        if (!c.environment.contains(name))
            return std::nullopt;
        return c.environment.value(name);
    };
    const auto exists = [&](const QString& device) { return c.existing.contains(device); };
    const auto isConsole = [&](const QString& device) { return c.consoles.contains(device); };
    EXPECT_EQ(PortScan::candidates(c.comNumbers, env, exists, isConsole), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ScanCandidates,
    testing::Values(
        CandidateCase{"builtInMapOnlyWhereDevicesExist",
                      {1, 2, 33, 34, 65, 97},
                      {},
                      {"/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyACM0"},
                      {},
                      {{2, "/dev/ttyS1"}, {33, "/dev/ttyUSB0"}, {65, "/dev/ttyACM0"}}},
        CandidateCase{"consoleNeverProbed",
                      {1, 2},
                      {},
                      {"/dev/ttyS0", "/dev/ttyS1"},
                      {"/dev/ttyS0"},
                      {{2, "/dev/ttyS1"}}},
        CandidateCase{"overrideReplacesTheConsole",
                      {1},
                      {{"QM240LX_COM1", "/dev/pts/7"}},
                      {"/dev/ttyS0", "/dev/pts/7"},
                      {"/dev/ttyS0"},
                      {{1, "/dev/pts/7"}}},
        CandidateCase{"overrideBeyondTheMap",
                      {200, 3},
                      {{"QM240LX_COM200", "/dev/pts/2"}},
                      {"/dev/pts/2"},
                      {},
                      {{200, "/dev/pts/2"}}},
        CandidateCase{"overrideToTheConsoleRefused",
                      {9},
                      {{"QM240LX_COM9", "/dev/ttyS0"}},
                      {"/dev/ttyS0"},
                      {"/dev/ttyS0"},
                      {}},
        CandidateCase{"oneDeviceUnderItsLowestNumber",
                      {40, 5, 33},
                      {{"QM240LX_COM40", "/dev/ttyUSB0"}, {"QM240LX_COM5", "/dev/ttyUSB0"}},
                      {"/dev/ttyUSB0"},
                      {},
                      {{5, "/dev/ttyUSB0"}}},
        CandidateCase{"absentOverride", {4}, {{"QM240LX_COM4", "/dev/nothing"}}, {}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The check the scan is given decides; here it calls the first emulator's
// device the console.
TEST(PortScan, NeverOpensAConsoleEvenWithAnAdapterOnIt)
{
    test::SimProcess console;
    test::SimProcess adapter;
    ASSERT_TRUE(console.start()) << console.errorString().toStdString();
    ASSERT_TRUE(adapter.start()) << adapter.errorString().toStdString();
    const QString consoleDevice = console.devicePath();

    QtEventPump pump(QEventLoop::ExcludeUserInputEvents);
    PortScan scan(
        pump, systemTick, [&](const QString& device) { return device == consoleDevice; }, nullptr);
    const QList<Port> found = scan.run({{1, consoleDevice}, {2, adapter.devicePath()}});

    EXPECT_EQ(found, QList<Port>({{2, adapter.devicePath()}}));
    ASSERT_TRUE(adapter.waitForReceived(1));
    EXPECT_TRUE(console.received().isEmpty());
}

TEST(PortScan, ProbesEveryPortOnceAndJudgesTheFirstByte)
{
    const std::vector<QStringList> arguments{
        {},
        {QStringLiteral("--extra"), QStringLiteral("2"), QStringLiteral("--extra-byte"),
         QStringLiteral("0x00")},
        {QStringLiteral("--probe-answer"), QStringLiteral("0x55"), QStringLiteral("--extra"),
         QStringLiteral("1")},
        {QStringLiteral("--delay"), QStringLiteral("300")},
    };
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    QList<Port> ports;
    for (const QStringList& simArguments : arguments) {
        sims.push_back(std::make_unique<test::SimProcess>());
        ASSERT_TRUE(sims.back()->start(simArguments)) << sims.back()->errorString().toStdString();
        ports.append({static_cast<int>(ports.size()) + 10, sims.back()->devicePath()});
    }

    QtEventPump pump(QEventLoop::ExcludeUserInputEvents);
    PortScan scan(
        pump, systemTick, [](const QString&) { return false; }, nullptr);
    const QList<Port> found = scan.run(ports);

    EXPECT_EQ(found, QList<Port>({ports[0], ports[1], ports[3]}));
    for (const auto& sim : sims)
        EXPECT_EQ(sim->received(), QByteArray(1, static_cast<char>(0xAC)));
}

} // namespace
} // namespace qm240lx
