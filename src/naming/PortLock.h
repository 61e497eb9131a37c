#pragma once

#include <optional>

#include <QString>
#include <QStringList>

namespace qm240lx {

// A lock file that keeps a serial device from being opened. QSerialPort
// writes the pid, the program and the host on three lines; older UUCP-style
// programs write the pid alone.
struct PortLock
{
    QString file; // its path, symbolic links resolved
    qint64 pid = 0;
    QString program; // empty when the file names none
    bool ownerRuns = false;

    // Where QSerialPort looks for lock files, in its own order.
    static QStringList systemDirectories();

    // The lock file for `device` in `directories` that names a running
    // process; else the first that names a pid at all.
    static std::optional<PortLock> find(const QString& device, const QStringList& directories);
};

} // namespace qm240lx
