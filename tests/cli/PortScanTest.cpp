#include "cli/PortScan.h"

#include <tuple>

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
    for (const auto& [comNumbers, variables, files, expected] : cases) {
        const auto& environment = variables;
        const auto& existing = files;
        const EnvLookup env = [&](const QString& name) -> std::optional<QString> {
            return environment.contains(name) ? std::optional(environment[name]) : std::nullopt;
        };
        const auto exists = [&](const QString& device) { return existing.contains(device); };
        EXPECT_EQ(PortScan::candidates(comNumbers, env, exists, isConsole), expected);
    }
}

} // namespace
} // namespace qm240lx
