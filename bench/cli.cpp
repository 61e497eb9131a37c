// Wall time of the command-line tool against the emulator: one `read` (the
// settling pause, the probe and the read-back, plus starting the program),
// and one `scan` across 16 emulators, which should take no longer than one
// detection however many ports there are.
#include "support/SimProcess.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

using qm240lx::test::SimProcess;

namespace {

constexpr int readRuns = 10;
constexpr int scanRuns = 3;
constexpr int scanPorts = 16;
constexpr int firstScanCom = 100;

QString cliPath()
{
#ifdef QM240LX_CLI_PATH
    return QStringLiteral(QM240LX_CLI_PATH);
#else
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../qm240lx");
#endif
}

struct Run
{
    double ms = 0;
    int exitCode = -1;
};

Run runCli(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(cliPath(), arguments);
    process.waitForFinished(30000);
    return {static_cast<double>(timer.nsecsElapsed()) / 1e6, process.exitCode()};
}

QProcessEnvironment withoutOverrides()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& key : environment.keys()) {
        if (key.startsWith(QLatin1String("QM240LX_COM")))
            environment.remove(key);
    }
    return environment;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Timings
{
    std::vector<double> ms;
    bool allExpected = true;
};

Timings repeat(int runs, const QStringList& arguments, const QProcessEnvironment& environment,
               int expectedExit)
{
    Timings timings;
    for (int run = 0; run < runs; ++run) {
        const Run result = runCli(arguments, environment);
        timings.ms.push_back(result.ms);
        timings.allExpected = timings.allExpected && result.exitCode == expectedExit;
    }
    return timings;
}

void report(const char* what, const Timings& timings, const char* target)
{
    std::printf("%-34s median %7.1f ms, min %7.1f, max %7.1f over %zu runs%s (%s)\n", what,
                median(timings.ms), *std::min_element(timings.ms.begin(), timings.ms.end()),
                *std::max_element(timings.ms.begin(), timings.ms.end()), timings.ms.size(),
                timings.allExpected ? "" : ", UNEXPECTED EXIT CODE", target);
}

bool benchRead()
{
    SimProcess sim;
    if (!sim.start()) {
        std::printf("read: the emulator did not start: %s\n", qPrintable(sim.errorString()));
        return false;
    }
    QProcessEnvironment environment = withoutOverrides();
    environment.insert(QStringLiteral("QM240LX_COM5"), sim.devicePath());
    report("read", repeat(readRuns, {"--port", "5", "read"}, environment, 0),
           "target <= 400 ms: 200 ms settling + exchanges + start-up");
    return true;
}

// Every `silentEvery`-th emulator says nothing, so that the shared wait runs
// to its 2 s limit; 0 for none.
bool benchScan(int silentEvery, const char* what, const char* target)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QProcessEnvironment environment = withoutOverrides();
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
    report(what, repeat(scanRuns, {"scan", "--only-overrides"}, environment, 0), target);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool ok =
        benchRead() &&
        benchScan(0, "scan, 16 ready emulators", "target <= 400 ms: ends at the last answer") &&
        benchScan(2, "scan, 16 emulators, 8 silent", "target <= 2500 ms: one detection");
    return ok ? 0 : 1;
}
