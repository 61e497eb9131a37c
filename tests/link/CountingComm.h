#pragma once

#include "link/CommControl.h"

namespace qm240lx::test {

// Passes everything to another serial control and counts the bytes written,
// so a test can find each command's bytes in the adapter's log.
class CountingComm : public CommControl
{
public:
    explicit CountingComm(CommControl& inner) : m_inner(inner) {}

    int bytesWritten() const { return m_bytesWritten; }

    void setCommPort(int port) override { m_inner.setCommPort(port); }
    int commPort() const override { return m_inner.commPort(); }
    bool setPortOpen(bool open) override { return m_inner.setPortOpen(open); }
    bool portOpen() const override { return m_inner.portOpen(); }
    bool output(const QByteArray& bytes) override
    {
        const bool written = m_inner.output(bytes);
        if (written)
            m_bytesWritten += static_cast<int>(bytes.size());
        return written;
    }
    void setInputLen(int length) override { m_inner.setInputLen(length); }
    int inputLen() const override { return m_inner.inputLen(); }
    std::optional<int> inBufferCount() override { return m_inner.inBufferCount(); }
    std::optional<QByteArray> input() override { return m_inner.input(); }
    void discardInput() override { m_inner.discardInput(); }
    QString deviceName() const override { return m_inner.deviceName(); }
    PortError lastError() const override { return m_inner.lastError(); }

private:
    CommControl& m_inner;
    int m_bytesWritten = 0;
};

} // namespace qm240lx::test
