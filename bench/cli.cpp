// Wall time and processor time of the real command-line tool, qm240lx,
// against the real emulator, qm240lx-sim, on its pseudo-terminal: one `read`
// (the settling pause, the probe and the read-back, plus starting the
// program), and one `scan` across 16 emulators, which should take no longer
// than one detection however many ports there are.
#include "ToolRun.h"
#include "support/SimProcess.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QProcessEnvironment>

using namespace qm240lx::bench;
using qm240lx::test::SimProcess;

namespace {

constexpr int readRuns = 10;
constexpr int scanRuns = 3;
constexpr int scanPorts = 16;
constexpr int firstScanCom = 100;

bool benchRead()
{
    SimProcess sim;
    if (!sim.start()) {
        std::printf("read: the emulator did not start: %s\n", qPrintable(sim.errorString()));
        return false;
    }
    QProcessEnvironment environment = environmentWithoutOverrides();
    environment.insert(QStringLiteral("QM240LX_COM5"), sim.devicePath());
    printRuns("read", repeatTool(readRuns, {"--port", "5", "read"}, environment),
              "target <= 400 ms wall: 200 ms settling + exchanges + start-up");
    return true;
}

// Every `silentEvery`-th emulator says nothing, so that the shared wait runs
// to its 2 s limit; 0 for none.
bool benchScan(int silentEvery, const char* what, const char* target)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QProcessEnvironment environment = environmentWithoutOverrides();
    for (int index = 0; index < scanPorts; ++index) {
        const bool silent = silentEvery > 0 && index % silentEvery == 0;
        sims.push_back(std::make_unique<SimProcess>());
        if (!sims.back()->start(silent ? QStringList{"--silent", "all"} : QStringList{})) {
            std::printf("scan: an emulator did not start: %s\n",
                        qPrintable(sims.back()->errorString()));
            return false;
        }
        environment.insert(QStringLiteral("QM240LX_COM%1").arg(firstScanCom + index),
                           sims.back()->devicePath());
    }
    printRuns(what, repeatTool(scanRuns, {"scan", "--only-overrides"}, environment), target);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool ok =
        benchRead() &&
        benchScan(0, "scan, 16 ready emulators",
                  "target <= 400 ms wall: ends at the last answer") &&
        benchScan(2, "scan, 16 emulators, 8 silent", "target <= 2500 ms wall: one detection");
    return ok ? 0 : 1;
}
