#include "cli/TracingPort.h"

#include <utility>

namespace qm240lx {

TracingPort::TracingPort(Port& inner, TraceLog& log, QString port)
    : m_inner(inner), m_log(log), m_port(std::move(port))
{}

bool TracingPort::write(const QByteArray& bytes)
{
    const bool written = m_inner.write(bytes);
    if (written)
        m_log.bytes(m_port, TraceLog::Direction::Written, bytes);
    else
        m_log.text(m_port, QStringLiteral("write of %1 failed")
                               .arg(QString::fromLatin1(bytes.toHex(' ').toUpper())));
    return written;
}

std::optional<QByteArray> TracingPort::take(int most)
{
    std::optional<QByteArray> bytes = m_inner.take(most);
    if (bytes)
        m_log.bytes(m_port, TraceLog::Direction::Read, *bytes);
    return bytes;
}

void TracingPort::discard()
{
    const std::optional<int> waiting = m_inner.waiting();
    if (waiting && *waiting > 0) {
        if (const std::optional<QByteArray> dropped = m_inner.take(*waiting))
            m_log.bytes(m_port, TraceLog::Direction::Dropped, *dropped);
    }
    m_inner.discard();
}

} // namespace qm240lx
