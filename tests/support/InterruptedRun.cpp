#include "support/InterruptedRun.h"

#include "support/PortLocks.h"

#include <csignal>

namespace qm240lx::test {

namespace {

// Generous: a sanitizer build of the window takes seconds to start.
constexpr int limitMs = 30000;

} // namespace

InterruptedRun InterruptedRun::run(const QString& program, const QStringList& arguments,
                                   const QProcessEnvironment& environment, const SimProcess& sim,
                                   int signalNumber)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    process.start(QIODevice::ReadOnly);
    InterruptedRun result;
    result.probed = process.waitForStarted(limitMs) && sim.waitForReceived(1, limitMs);
    result.locksWhileWaiting = lockFilesOf(sim.devicePath());
    if (result.probed)
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
    result.finished = process.waitForFinished(limitMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitedNormally = process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.err = process.readAllStandardError();
    result.locksAfter = lockFilesOf(sim.devicePath());
    return result;
}

} // namespace qm240lx::test
