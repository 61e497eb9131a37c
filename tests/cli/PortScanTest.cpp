#include "cli/PortScan.h"

#include "link/QtEventPump.h"
#include "support/SimProcess.h"

#include <memory>
#include <tuple>
#include <vector>

#include <QMap>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using Port = PortScan::Port;

TEST(PortScan, CandidatesAreExistingNonConsoleDevicesEachOnceInComOrder)
{
    const std::tuple<QList<int>, QMap<QString, QString>, QStringList, QList<Port>> cases[] = {
        {{65, 2, 1, 33, 34, 97}, // the built-in map
         {},
         {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0", "/dev/ttyACM0"},
         {{2, "/dev/ttyS1"}, {33, "/dev/ttyUSB0"}, {65, "/dev/ttyACM0"}}},
        {{200, 9, 4, 1},
         {{"QM240LX_COM1", "/dev/pts/7"},
          {"QM240LX_COM200", "/dev/pts/2"},
          {"QM240LX_COM9", "/dev/ttyS0"},
          {"QM240LX_COM4", "/dev/nothing"}},
         {"/dev/ttyS0", "/dev/pts/7", "/dev/pts/2"},
         {{1, "/dev/pts/7"}, {200, "/dev/pts/2"}}},
        {{40, 5, 33}, // one device under two numbers
         {{"QM240LX_COM40", "/dev/ttyUSB0"}, {"QM240LX_COM5", "/dev/ttyUSB0"}},
         {"/dev/ttyUSB0"},
         {{5, "/dev/ttyUSB0"}}},
    };
    const auto isConsole = [](const QString& device) { return device == "/dev/ttyS0"; };
    for (const auto& [comNumbers, environment, existing, expected] : cases) {
        const EnvLookup env = [&](const QString& name) -> std::optional<QString> {
            return environment.contains(name) ? std::optional(environment[name]) : std::nullopt;
        };
        const auto exists = [&](const QString& device) { return existing.contains(device); };
        EXPECT_EQ(PortScan::candidates(comNumbers, env, exists, isConsole), expected);
    }
}

// The check the scan is given decides what the console is: here the first
// emulator's device, which is never opened though an adapter answers there.
TEST(PortScan, ProbesEveryPortOnceAndJudgesTheFirstByte)
{
    const QList<QStringList> arguments{
        {},
        {},
        {"--extra", "2", "--extra-byte", "0x00"},
        {"--probe-answer", "0x55", "--extra", "1"},
        {"--delay", "300"},
    };
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    QList<Port> ports;
    for (const QStringList& simArguments : arguments) {
        sims.push_back(std::make_unique<test::SimProcess>());
        ASSERT_TRUE(sims.back()->start(simArguments)) << sims.back()->errorString().toStdString();
        ports.append({static_cast<int>(ports.size()) + 10, sims.back()->devicePath()});
    }
    const QString console = ports[0].device;

    QtEventPump pump(QEventLoop::ExcludeUserInputEvents);
    PortScan scan(
        pump, systemTick, [&](const QString& device) { return device == console; }, nullptr);
    const QList<Port> found = scan.run(ports);

    EXPECT_EQ(found, QList<Port>({ports[1], ports[2], ports[4]}));
    EXPECT_TRUE(sims[0]->received().isEmpty());
    for (std::size_t index = 1; index < sims.size(); ++index)
        EXPECT_EQ(sims[index]->received(), QByteArray(1, static_cast<char>(0xAC))) << index;
}

} // namespace
} // namespace qm240lx
