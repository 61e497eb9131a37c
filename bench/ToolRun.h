#pragma once

#include <functional>
#include <vector>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The built command-line tool run as a process of its own, timed by the wall
// clock and by the processor time it used, once or several times.
namespace qm240lx::bench {

// The built qm240lx, or the one QM240LX_BENCH_TOOL names (to compare builds).
QString toolPath();

// This process's environment without any QM240LX_COM<n>, so that only the
// ports a benchmark names itself are overridden.
QProcessEnvironment environmentWithoutOverrides();

struct ToolRun
{
    double wallMs = 0;
    double cpuMs = 0;  // user and system time of qm240lx
    int exitCode = -1; // -1 also when it crashed or did not end in time
    double peakKb = 0; // peak resident memory of qm240lx, where the runner records it
};

// Runs qm240lx once and waits for it to end; one that takes longer than
// `timeoutMs` is killed.
ToolRun runTool(const QStringList& arguments, const QProcessEnvironment& environment,
                int timeoutMs = 60000);

// runTool that also records qm240lx's peak resident memory: the process is
// spawned and reaped here rather than by QProcess, so that wait4() gives the
// figures of that very child (ru_maxrss, the high-water mark of its resident
// set as it ended, and its own processor time). Its output is discarded.
ToolRun runToolRecordingMemory(const QStringList& arguments, const QProcessEnvironment& environment,
                               int timeoutMs = 60000);

using ToolRunner =
    std::function<ToolRun(const QStringList& arguments, const QProcessEnvironment& environment)>;

double median(std::vector<double> values);

// The figures of several runs of one command.
struct ToolRuns
{
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
    std::vector<double> peakKb;
    bool allExpected = true; // every run ended with the expected exit code

    void add(const ToolRun& run, int expectedExit);
};

// Runs the same command `count` times.
ToolRuns repeatTool(int count, const QStringList& arguments, const QProcessEnvironment& environment,
                    int expectedExit = 0);

// Runs `once` `count` times, telling it the run's number from 0: for a
// command that changes between runs. `once` returns exit code -1 for a run
// it could not even start.
ToolRuns repeatTool(int count, const std::function<ToolRun(int run)>& once, int expectedExit = 0);

// Runs `qm240lx OPTIONS apply PROFILE APPLY_OPTIONS` `count` times, the
// profile setting the other of two baud rates each run, so that every run
// really uploads one byte to every adapter. A run whose profile could not be
// written counts as one with exit code -1.
ToolRuns repeatApply(int count, const QStringList& options, const QStringList& applyOptions,
                     const QProcessEnvironment& environment);

// The same, each run by `runner`.
ToolRuns repeatApply(int count, const QStringList& options, const QStringList& applyOptions,
                     const QProcessEnvironment& environment, const ToolRunner& runner);

// One line: `what`, the median, least and greatest wall time, the median
// processor time of qm240lx, the number of runs, whether any ended
// unexpectedly, and `note` in brackets when there is one.
void printRuns(const char* what, const ToolRuns& runs, const char* note = nullptr);

} // namespace qm240lx::bench
