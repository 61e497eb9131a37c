#include "support/SimProcess.h"

#include "sim/UniqueFd.h"

#include <array>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>

#include <gtest/gtest.h>

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
    while (!m_process.canReadLine() &&
           m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (!line.startsWith(QLatin1String("PTY "))) {
        m_error =
            QStringLiteral("the emulator named no device (%1): %2").arg(line, standardError());
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
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
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

bool SimProcess::waitForTrace(const std::function<bool()>& done, int timeoutMs) const
{
    const sim::UniqueFd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    const bool watching =
        watch.isValid() &&
        ::inotify_add_watch(watch.get(), qPrintable(standardErrorPath()), IN_MODIFY) >= 0;
    const QDeadlineTimer deadline(timeoutMs);
    std::array<char, 4096> events{};
    pollfd changed{watch.get(), POLLIN, 0};
    while (!done()) {
        if (!watching || deadline.hasExpired())
            return false;
        ::poll(&changed, 1, static_cast<int>(deadline.remainingTime()));
        while (::read(watch.get(), events.data(), events.size()) > 0) {
        }
    }
    return true;
}

bool SimProcess::waitForReceived(qsizetype count, int timeoutMs) const
{
    return waitForTrace([&] { return received().size() >= count; }, timeoutMs);
}

bool SimProcess::waitForSent(qsizetype count, int timeoutMs) const
{
    return waitForTrace([&] { return sent().size() >= count; }, timeoutMs);
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

StartedSim::StartedSim(const QStringList& arguments)
{
    EXPECT_TRUE(start(arguments)) << errorString().toStdString();
}

} // namespace qm240lx::test
