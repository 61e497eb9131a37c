#include "cli/TracingComm.h"

#include <utility>

namespace qm240lx {

TracingComm::TracingComm(CommControl& inner, TraceLog& log, QString port)
    : m_inner(inner), m_log(log), m_port(std::move(port))
{}

bool TracingComm::output(const QByteArray& bytes)
{
    const bool written = m_inner.output(bytes);
    if (written)
        m_log.bytes(m_port, TraceLog::Direction::Written, bytes);
    else
        m_log.text(m_port, QStringLiteral("write of %1 failed")
                               .arg(QString::fromLatin1(bytes.toHex(' ').toUpper())));
    return written;
}

std::optional<QByteArray> TracingComm::input()
{
    std::optional<QByteArray> bytes = m_inner.input();
    if (bytes)
        m_log.bytes(m_port, TraceLog::Direction::Read, *bytes);
    return bytes;
}

void TracingComm::discardInput()
{
    const std::optional<int> waiting = m_inner.inBufferCount();
    if (waiting && *waiting > 0) {
        const int length = m_inner.inputLen();
        m_inner.setInputLen(*waiting);
        if (const std::optional<QByteArray> dropped = m_inner.input())
            m_log.bytes(m_port, TraceLog::Direction::Dropped, *dropped);
        m_inner.setInputLen(length);
    }
    m_inner.discardInput();
}

} // namespace qm240lx
