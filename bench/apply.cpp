// Wall time and processor time of `qm240lx apply` against 1, 8 and 32
// emulators, each run changing one byte on every adapter: the ports are
// handled at the same time, so 8 adapters should take no more than about 1.5
// times as long as one.
#include "support/SimProcess.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

using qm240lx::test::SimProcess;

namespace {

constexpr int runs = 5;
constexpr int firstCom = 100;

QString cliPath()
{
    return QStringLiteral(QM240LX_CLI_PATH);
}

// Processor time of the children waited for so far, user and system.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Run
{
    double wallMs = 0;
    double cpuMs = 0;
    int exitCode = -1;
};

Run runCli(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    const double cpuBefore = childrenCpuMs();
    QElapsedTimer timer;
    timer.start();
    process.start(cliPath(), arguments);
    process.waitForFinished(60000);
    const double wallMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return {wallMs, childrenCpuMs() - cpuBefore, process.exitCode()};
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

bool writeProfile(const QString& path, int baud)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QStringLiteral("{\"baud\": %1}\n").arg(baud).toUtf8()) > 0;
}

// Every run sets the other of two baud rates, so that each uploads one byte
// on every adapter.
bool benchApply(int adapters)
{
    std::vector<std::unique_ptr<SimProcess>> sims;
    QProcessEnvironment environment = withoutOverrides();
    QStringList arguments;
    for (int index = 0; index < adapters; ++index) {
        sims.push_back(std::make_unique<SimProcess>());
        if (!sims.back()->start()) {
            std::printf("apply: an emulator did not start: %s\n",
                        qPrintable(sims.back()->errorString()));
            return false;
        }
        environment.insert(QStringLiteral("QM240LX_COM%1").arg(firstCom + index),
                           sims.back()->devicePath());
        arguments << QStringLiteral("--port") << QString::number(firstCom + index);
    }
    const QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("profile.json"));
    std::vector<double> wall;
    std::vector<double> cpu;
    bool allSucceeded = true;
    for (int run = 0; run < runs; ++run) {
        if (!writeProfile(profile, run % 2 == 0 ? 2400 : 9600))
            return false;
        const Run result = runCli(arguments + QStringList{"apply", profile}, environment);
        wall.push_back(result.wallMs);
        cpu.push_back(result.cpuMs);
        allSucceeded = allSucceeded && result.exitCode == 0;
    }
    std::printf("apply, %2d emulator%s  wall median %7.1f ms (min %7.1f, max %7.1f), "
                "CPU median %6.1f ms over %d runs%s\n",
                adapters, adapters == 1 ? " " : "s", median(wall),
                *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()), median(cpu), runs,
                allSucceeded ? "" : ", UNEXPECTED EXIT CODE");
    return allSucceeded;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("target: 8 adapters within about 1.5 times the wall time of one\n");
    const bool ok = benchApply(1) && benchApply(8) && benchApply(32);
    return ok ? 0 : 1;
}
