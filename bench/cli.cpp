// Wall time and processor time of the real command-line tool, qm240lx,
// against the real emulator, qm240lx-sim, on its pseudo-terminal: one `read`
// (the settling pause, the probe and the read-back, plus starting the
// program), and one `scan` across 16 emulators, which should take no longer
// than one detection however many ports there are. And one `set` of the
// primary protocol (probe, read, upload, read-back: four quiet lines before
// writing and three after replies) at memory speed, on a line paced at 9600
// baud, and there with stray bytes after every answer but the read-back's.
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
constexpr int setRuns = 10;
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

bool benchSet(const QStringList& simArguments, const char* what, const char* target)
{
    SimProcess sim;
    if (!sim.start(simArguments)) {
        std::printf("set: the emulator did not start: %s\n", qPrintable(sim.errorString()));
        return false;
    }
    QProcessEnvironment environment = environmentWithoutOverrides();
    environment.insert(QStringLiteral("QM240LX_COM5"), sim.devicePath());
    const auto once = [&](int run) {
        const QString protocol = run % 2 == 0 ? QStringLiteral("obex") : QStringLiteral("irlpt");
        return runTool({"--port", "5", "set", "--protocol", protocol}, environment);
    };
    printRuns(what, repeatTool(setRuns, once), target);
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
        benchRead() && benchSet({}, "set, memory speed", "target <= 450 ms wall") &&
        benchSet({"--pace", "9600"}, "set, 9600 baud",
                 "target <= 500 ms wall: 7 quiet gaps of 5 ms, 9 bytes of 1.04 ms") &&
        benchSet({"--pace", "9600", "--extra", "2", "--extra-byte", "0x55,0xFA", "--extra-ops",
                  "aa,ab,ac,ae,af"},
                 "set, 9600 baud, 2 stray bytes after each answer but the read-back's",
                 "target <= 550 ms wall") &&
        benchScan(0, "scan, 16 ready emulators",
                  "target <= 400 ms wall: ends at the last answer") &&
        benchScan(2, "scan, 16 emulators, 8 silent", "target <= 2500 ms wall: one detection");
    return ok ? 0 : 1;
}
