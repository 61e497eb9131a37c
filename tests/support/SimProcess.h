#pragma once

#include "sim/Trace.h"

#include <functional>
#include <vector>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qm240lx::test {

// The adapter emulator run as a separate program for end-to-end tests, always
// with --trace, so a test can check every byte the host wrote and was sent.
// Its standard error goes to a file: the emulator never stalls on a full pipe
// however long a test leaves the trace unread.
class SimProcess
{
public:
    using TraceEntries = std::vector<sim::Trace::Entry>;

    static constexpr int defaultTimeoutMs = 5000;

    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the emulator with `arguments` and waits for it to name its
    // device. False, with errorString() set, when it does not within the time.
    bool start(const QStringList& arguments = {}, int timeoutMs = defaultTimeoutMs);

    QString errorString() const { return m_error; }
    QString devicePath() const { return m_devicePath; }

    // Everything written to standard error so far: trace lines and notices.
    QString standardError() const;
    TraceEntries traceEntries() const;
    QByteArray received() const; // bytes the host wrote, in order
    QByteArray sent() const;     // bytes the emulator sent, in order

    // Wait, without spinning, for so many bytes in the trace.
    bool waitForReceived(qsizetype count, int timeoutMs = defaultTimeoutMs) const;
    bool waitForSent(qsizetype count, int timeoutMs = defaultTimeoutMs) const;

    // Waits for the emulator to end by itself (after an unplug).
    bool waitForExit(int timeoutMs = defaultTimeoutMs);

    // SIGTERM and wait; a kill if it does not end in time. True when it ended
    // by itself with exit code 0.
    bool stop(int timeoutMs = defaultTimeoutMs);

    bool exitedCleanly() const;

private:
    bool readDevicePath(int timeoutMs);
    bool waitForTrace(const std::function<bool()>& done, int timeoutMs) const;
    QString standardErrorPath() const;

    QTemporaryDir m_outputDir;
    QProcess m_process;
    QString m_devicePath;
    QString m_error;
};

// An emulator started with `arguments` for one test; a start that fails fails
// the test.
class StartedSim : public SimProcess
{
public:
    explicit StartedSim(const QStringList& arguments = {});
};

} // namespace qm240lx::test
