#include "ToolRun.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace qm240lx::bench {
namespace {

// User and system time, in milliseconds.
double processorMs(const rusage& usage)
{
    const auto ms = [](const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Processor time of the children waited for so far, user and system: what
// grows between two calls around one run is that run's qm240lx, the only
// child to end meanwhile.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return processorMs(usage);
}

// Strings as execve() takes them: the encoded texts and, pointing into them,
// a list ended by a null pointer.
struct CStrings
{
    std::vector<QByteArray> texts;
    std::vector<char*> pointers;

    explicit CStrings(const QStringList& strings)
    {
        for (const QString& string : strings)
            texts.push_back(string.toLocal8Bit());
        for (QByteArray& text : texts)
            pointers.push_back(text.data());
        pointers.push_back(nullptr);
    }
};

// Starts `command` with its standard streams on /dev/null and the signals at
// their defaults; -1 when it could not. By fork() rather than posix_spawn():
// a child made by vfork(), as posix_spawn() makes it, takes the parent's own
// peak resident set into its ru_maxrss when it execs, whereas a forked one
// only takes the few pages it was given a copy of.
pid_t spawnQuietly(const QStringList& command, const QStringList& environment)
{
    CStrings arguments(command);
    CStrings variables(environment);
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (devNull < 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here: the parent has threads.
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        struct sigaction byDefault
        {
        };
        byDefault.sa_handler = SIG_DFL;
        sigaction(SIGPIPE, &byDefault, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(arguments.pointers[0], arguments.pointers.data(), variables.pointers.data());
        _exit(127);
    }
    close(devNull);
    return pid;
}

// Waits up to `timeoutMs` for the child to end, leaving it to be reaped;
// false when it has not. Without pidfds (Linux before 5.3) it does not wait,
// and the reaping waits with no deadline.
bool awaitEnd(pid_t pid, int timeoutMs)
{
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0)
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    pollfd end{pidfd, POLLIN, 0};
    int ready = 0;
    do {
        ready = poll(&end, 1, static_cast<int>(deadline.remainingTime()));
    } while (ready < 0 && errno == EINTR);
    close(pidfd);
    return ready > 0;
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

ToolRun runToolRecordingMemory(const QStringList& arguments, const QProcessEnvironment& environment,
                               int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = spawnQuietly(QStringList{toolPath()} + arguments, environment.toStringList());
    if (pid < 0)
        return {};
    const bool ended = awaitEnd(pid, timeoutMs);
    const double wallMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (!ended)
        kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const bool normal = ended && WIFEXITED(status);
    // ru_maxrss is in KB on Linux.
    return {wallMs, processorMs(usage), normal ? WEXITSTATUS(status) : -1,
            static_cast<double>(usage.ru_maxrss)};
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
    peakKb.push_back(run.peakKb);
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
    return repeatApply(count, options, applyOptions, environment,
                       [](const QStringList& arguments, const QProcessEnvironment& environment) {
                           return runTool(arguments, environment);
                       });
}

ToolRuns repeatApply(int count, const QStringList& options, const QStringList& applyOptions,
                     const QProcessEnvironment& environment, const ToolRunner& runner)
{
    const QTemporaryDir dir;
    const QString profile = dir.filePath(QStringLiteral("profile.json"));
    return repeatTool(count, [&](int run) {
        if (!dir.isValid() || !writeProfile(profile, run % 2 == 0 ? 2400 : 9600))
            return ToolRun{};
        return runner(options + QStringList{QStringLiteral("apply"), profile} + applyOptions,
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
