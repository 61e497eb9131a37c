#include "ToolRun.h"

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace qm240lx::bench {
namespace {

// Processor time of the children waited for so far, user and system: what
// grows between two calls around one run is that run's qm240lx, the only
// child to end meanwhile.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

bool writeProfile(const QString& path, int baud)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QStringLiteral("{\"baud\": %1}\n").arg(baud).toUtf8()) > 0;
}

} // namespace

QString toolPath()
{
    const QString other = qEnvironmentVariable("QM240LX_BENCH_TOOL");
    return other.isEmpty() ? QStringLiteral(QM240LX_CLI_PATH) : other;
}

QProcessEnvironment environmentWithoutOverrides()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QStringList keys = environment.keys();
    for (const QString& key : keys) {
        if (key.startsWith(QLatin1String("QM240LX_COM")))
            environment.remove(key);
    }
    return environment;
}

ToolRun runTool(const QStringList& arguments, const QProcessEnvironment& environment, int timeoutMs)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    const double cpuBefore = childrenCpuMs();
    QElapsedTimer timer;
    timer.start();
    process.start(toolPath(), arguments);
    const bool ended = process.waitForFinished(timeoutMs);
    const double wallMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (!ended) {
        process.kill();
        process.waitForFinished(3000);
    }
    const bool normal = ended && process.exitStatus() == QProcess::NormalExit;
    return {wallMs, childrenCpuMs() - cpuBefore, normal ? process.exitCode() : -1};
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void ToolRuns::add(const ToolRun& run, int expectedExit)
{
    wallMs.push_back(run.wallMs);
    cpuMs.push_back(run.cpuMs);
    allExpected = allExpected && run.exitCode == expectedExit;
}

ToolRuns repeatTool(int count, const QStringList& arguments, const QProcessEnvironment& environment,
                    int expectedExit)
{
    return repeatTool(
        count, [&](int) { return runTool(arguments, environment); }, expectedExit);
}

ToolRuns repeatTool(int count, const std::function<ToolRun(int run)>& once, int expectedExit)
{
    ToolRuns runs;
    for (int run = 0; run < count; ++run)
        runs.add(once(run), expectedExit);
    return runs;
}

ToolRuns repeatApply(int count, const QStringList& options, const QStringList& applyOptions,
                     const QProcessEnvironment& environment)
{
    const QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("profile.json"));
    return repeatTool(count, [&](int run) {
        if (!dir.isValid() || !writeProfile(profile, run % 2 == 0 ? 2400 : 9600))
            return ToolRun{};
        return runTool(options + QStringList{QStringLiteral("apply"), profile} + applyOptions,
                       environment);
    });
}

void printRuns(const char* what, const ToolRuns& runs, const char* note)
{
    if (runs.wallMs.empty()) {
        std::printf("%-34s no runs\n", what);
        return;
    }
    const auto [least, greatest] = std::minmax_element(runs.wallMs.begin(), runs.wallMs.end());
    std::printf("%-34s wall median %7.1f ms (min %7.1f, max %7.1f), processor time of qm240lx "
                "median %6.1f ms, %zu runs, %s%s%s%s\n",
                what, median(runs.wallMs), *least, *greatest, median(runs.cpuMs),
                runs.wallMs.size(),
                runs.allExpected ? "all ended as expected" : "UNEXPECTED EXIT CODE",
                note ? " (" : "", note ? note : "", note ? ")" : "");
}

} // namespace qm240lx::bench
