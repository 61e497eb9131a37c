#include "support/SimProcess.h"

#include "sim/UniqueFd.h"

#include <array>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>

namespace qm240lx::test {

namespace {

QByteArray bytesOf(const SimProcess::TraceEntries& entries, sim::Trace::Direction direction)
{
    QByteArray bytes;
    for (const sim::Trace::Entry& entry : entries) {
        if (entry.direction == direction)
            bytes.append(static_cast<char>(entry.byte));
    }
    return bytes;
}

qsizetype countOf(const SimProcess::TraceEntries& entries, sim::Trace::Direction direction)
{
    return bytesOf(entries, direction).size();
}

// Blocks until the watched file changes or the deadline passes.
void waitForChange(int watchFd, const QDeadlineTimer& deadline)
{
    pollfd watched{watchFd, POLLIN, 0};
    ::poll(&watched, 1, static_cast<int>(deadline.remainingTime()));
    std::array<char, 4096> events{};
    while (::read(watchFd, events.data(), events.size()) > 0) {
    }
}

} // namespace

SimProcess::SimProcess()
{
    m_process.setProgram(QStringLiteral(QM240LX_SIM_PATH));
    m_process.setStandardErrorFile(standardErrorPath());
}

SimProcess::~SimProcess()
{
    stop();
}

bool SimProcess::start(const QStringList& arguments, int timeoutMs)
{
    if (!m_outputDir.isValid()) {
        m_error = QStringLiteral("no folder for the emulator's output: %1")
                      .arg(m_outputDir.errorString());
        return false;
    }
    m_process.setArguments(arguments + QStringList{QStringLiteral("--trace")});
    m_process.start(QIODevice::ReadOnly);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = m_process.errorString();
        return false;
    }
    return readDevicePath(timeoutMs);
}

bool SimProcess::readDevicePath(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            m_error = QStringLiteral("the emulator named no device: %1").arg(standardError());
            return false;
        }
    }
    const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!line.startsWith(QLatin1String("PTY "))) {
        m_error = QStringLiteral("unexpected first line from the emulator: %1").arg(line);
        return false;
    }
    m_devicePath = line.mid(4);
    return true;
}

QString SimProcess::standardErrorPath() const
{
    return m_outputDir.filePath(QStringLiteral("stderr.txt"));
}

QString SimProcess::standardError() const
{
    QFile file(standardErrorPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

SimProcess::TraceEntries SimProcess::traceEntries() const
{
    TraceEntries entries;
    for (const QString& line : standardError().split(u'\n')) {
        if (const std::optional<sim::Trace::Entry> entry = sim::Trace::parse(line))
            entries.push_back(*entry);
    }
    return entries;
}

QByteArray SimProcess::received() const
{
    return bytesOf(traceEntries(), sim::Trace::Direction::Received);
}

QByteArray SimProcess::sent() const
{
    return bytesOf(traceEntries(), sim::Trace::Direction::Sent);
}

bool SimProcess::waitForTrace(const std::function<bool(const TraceEntries&)>& done,
                              int timeoutMs) const
{
    const sim::UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const bool watching =
        watch.isValid() &&
        ::inotify_add_watch(watch.get(), standardErrorPath().toLocal8Bit().constData(),
                            IN_MODIFY) >= 0;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (done(traceEntries()))
            return true;
        if (!watching || deadline.hasExpired())
            return false;
        waitForChange(watch.get(), deadline);
    }
}

bool SimProcess::waitForReceived(qsizetype count, int timeoutMs) const
{
    return waitForTrace(
        [count](const TraceEntries& entries) {
            return countOf(entries, sim::Trace::Direction::Received) >= count;
        },
        timeoutMs);
}

bool SimProcess::waitForSent(qsizetype count, int timeoutMs) const
{
    return waitForTrace(
        [count](const TraceEntries& entries) {
            return countOf(entries, sim::Trace::Direction::Sent) >= count;
        },
        timeoutMs);
}

bool SimProcess::isRunning()
{
    return m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(0);
}

bool SimProcess::waitForExit(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

bool SimProcess::stop(int timeoutMs)
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(timeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(timeoutMs);
            return false;
        }
    }
    return exitedCleanly();
}

bool SimProcess::exitedCleanly() const
{
    return m_process.state() == QProcess::NotRunning &&
           m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

} // namespace qm240lx::test
