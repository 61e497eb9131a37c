#include "support/PortLocks.h"

#include "naming/PortLock.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QFileInfo>

namespace qm240lx::test {

QStringList lockFilesOf(const QString& device)
{
    QString name = device.mid(QStringLiteral("/dev/").size());
    name.replace(u'/', u'_');
    QStringList found;
    for (const QString& directory : PortLock::systemDirectories()) {
        const QFileInfo lock(directory + QStringLiteral("/LCK..") + name);
        if (lock.exists() && !found.contains(lock.canonicalFilePath()))
            found.append(lock.canonicalFilePath());
    }
    return found;
}

qint64 pidThatNoLongerRuns()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace qm240lx::test
