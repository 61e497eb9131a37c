#include "naming/PortLock.h"

#include <cerrno>
#include <csignal>

#include <QFile>
#include <QFileInfo>

namespace qm240lx {

namespace {

// QSerialPort names the lock after the device path below /dev, slashes
// replaced: /dev/pts/4 is locked by LCK..pts_4.
QString lockFileName(const QString& device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

// A process of another user answers EPERM, and runs all the same.
bool processRuns(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::optional<PortLock> readLock(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool isNumber = false;
    const qint64 pid = file.readLine().trimmed().toLongLong(&isNumber);
    if (!isNumber || pid <= 0)
        return std::nullopt;
    const QString program = QString::fromLocal8Bit(file.readLine().trimmed());
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return PortLock{canonical.isEmpty() ? path : canonical, pid, program, processRuns(pid)};
}

} // namespace

QStringList PortLock::systemDirectories()
{
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock")};
}

std::optional<PortLock> PortLock::find(const QString& device, const QStringList& directories)
{
    const QString fileName = lockFileName(device);
    std::optional<PortLock> stale;
    for (const QString& directory : directories) {
        std::optional<PortLock> lock = readLock(directory + QLatin1Char('/') + fileName);
        if (lock && lock->ownerRuns)
            return lock;
        if (lock && !stale)
            stale = std::move(lock);
    }
    return stale;
}

} // namespace qm240lx
