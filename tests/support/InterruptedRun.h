#pragma once

#include "support/SimProcess.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace qm240lx::test {

// A program started against an emulator that never answers, sent a signal
// once the emulator has heard its probe: the program is then waiting.
struct InterruptedRun
{
    bool probed = false;           // the probe arrived within the time
    QStringList locksWhileWaiting; // the device's lock files just before the signal
    bool finished = false;         // ended within the time after the signal
    bool exitedNormally = false;   // by returning from main, not by a signal
    int exitCode = -1;
    QByteArray err;
    QStringList locksAfter; // the device's lock files once it ended

    static InterruptedRun run(const QString& program, const QStringList& arguments,
                              const QProcessEnvironment& environment, const SimProcess& sim,
                              int signalNumber);
};

} // namespace qm240lx::test
