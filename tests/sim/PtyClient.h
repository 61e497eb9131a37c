#pragma once

#include "sim/UniqueFd.h"

#include <QByteArray>
#include <QString>

namespace qm240lx::test {

// A host program's side of the emulated serial line, opened with plain POSIX
// calls: non-blocking, every wait bounded by poll().
class PtyClient
{
public:
    explicit PtyClient(const QString& devicePath);

    bool isOpen() const { return m_fd.isValid(); }

    // Drops bytes that were waiting before this client opened the line.
    void clearInput();

    bool write(const QByteArray& bytes);

    // Reads until `count` bytes have come or `timeoutMs` has passed.
    QByteArray read(qsizetype count, int timeoutMs = 2000);

private:
    sim::UniqueFd m_fd;
};

} // namespace qm240lx::test
