#pragma once

#include <QString>
#include <QStringList>

namespace qm240lx::test {

// The lock files QSerialPort keeps for `device` at this moment, in any of
// the folders where it puts them.
QStringList lockFilesOf(const QString& device);

// The pid of a child that has ended and been reaped.
qint64 pidThatNoLongerRuns();

} // namespace qm240lx::test
