// The command-line tool on an adapter behind ser2net on this host, against the
// same on the emulator's pseudo-terminal: `read` over the pty, over RFC 2217
// and over raw TCP (the network should add no more than a few milliseconds),
// and `scan` across 16 network ports. Wall time, and the processor time the
// tool itself used.
#include "support/Ser2net.h"
#include "support/SimProcess.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>

using qm240lx::test::Ser2net;
using qm240lx::test::SimProcess;

namespace {

constexpr int readRuns = 10;
constexpr int scanRuns = 3;
constexpr int scanPorts = 16;
constexpr int firstScanCom = 100;

struct Sample
{
    double wallMs = 0;
    double cpuMs = 0;
    bool expected = false;
};

double childCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

Sample runCli(const QStringList& arguments, const QProcessEnvironment& environment,
              int expectedExit)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    const double cpuBefore = childCpuMs();
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(QM240LX_CLI_PATH), arguments);
    process.waitForFinished(30000);
    const double wall = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return {wall, childCpuMs() - cpuBefore, process.exitCode() == expectedExit};
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

void measure(const char* what, int runs, const QStringList& arguments,
             const QProcessEnvironment& environment)
{
    std::vector<double> wall;
    std::vector<double> cpu;
    bool allExpected = true;
    for (int run = 0; run < runs; ++run) {
        const Sample sample = runCli(arguments, environment, 0);
        wall.push_back(sample.wallMs);
        cpu.push_back(sample.cpuMs);
        allExpected = allExpected && sample.expected;
    }
    std::printf("%-32s wall median %7.1f ms (min %7.1f, max %7.1f), cpu median %6.1f ms, "
                "%d runs%s\n",
                what, median(wall), *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()), median(cpu), runs,
                allExpected ? "" : ", UNEXPECTED EXIT CODE");
}

// ser2net keeps a device a moment after its client left, and answers a
// client of its other port meanwhile with a message of its own: each kind
// gets an emulator and a ser2net of its own.
bool benchRead(const char* what, bool rfc2217)
{
    SimProcess sim;
    Ser2net server;
    if (!sim.start() || !server.start(sim.devicePath())) {
        std::printf("read: %s%s\n", qPrintable(sim.errorString()),
                    qPrintable(server.errorString()));
        return false;
    }
    const QProcessEnvironment environment = withoutOverrides();
    if (rfc2217)
        measure("read, pty", readRuns, {"--port", sim.devicePath(), "read"}, environment);
    measure(what, readRuns,
            {"--port", rfc2217 ? server.rfc2217Address() : server.tcpAddress(), "read"},
            environment);
    return true;
}

bool benchScan(bool rfc2217)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<Ser2net>> servers;
    QProcessEnvironment environment = withoutOverrides();
    for (int index = 0; index < scanPorts; ++index) {
        sims.push_back(std::make_unique<SimProcess>());
        servers.push_back(std::make_unique<Ser2net>());
        if (!sims.back()->start() || !servers.back()->start(sims.back()->devicePath())) {
            std::printf("scan: %s%s\n", qPrintable(sims.back()->errorString()),
                        qPrintable(servers.back()->errorString()));
            return false;
        }
        environment.insert(QStringLiteral("QM240LX_COM%1").arg(firstScanCom + index),
                           rfc2217 ? servers.back()->rfc2217Address()
                                   : servers.back()->tcpAddress());
    }
    measure(rfc2217 ? "scan, 16 rfc2217 ports" : "scan, 16 raw tcp ports", scanRuns,
            {"scan", "--only-overrides"}, environment);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool ok = benchRead("read, rfc2217 via ser2net", true) &&
                    benchRead("read, raw tcp via ser2net", false) && benchScan(true) &&
                    benchScan(false);
    return ok ? 0 : 1;
}
