#pragma once

#include "cli/TraceLog.h"
#include "link/CommControl.h"

namespace qm240lx {

// A serial control that logs every byte written to and read from another one.
class TracingComm : public CommControl
{
public:
    // `port` names the port in the log.
    TracingComm(CommControl& inner, TraceLog& log, QString port);

    void setCommPort(int port) override { m_inner.setCommPort(port); }
    int commPort() const override { return m_inner.commPort(); }
    Task<bool> open() override { return m_inner.open(); }
    void close() override { m_inner.close(); }
    bool portOpen() const override { return m_inner.portOpen(); }
    void setNewsHandler(std::function<void()> handler) override
    {
        m_inner.setNewsHandler(std::move(handler));
    }
    bool output(const QByteArray& bytes) override;
    void setInputLen(int length) override { m_inner.setInputLen(length); }
    int inputLen() const override { return m_inner.inputLen(); }
    std::optional<int> inBufferCount() override { return m_inner.inBufferCount(); }
    std::optional<QByteArray> input() override;
    // Reads what is waiting before dropping it, so that the log shows it.
    void discardInput() override;
    Tick quietGapMs() const override { return m_inner.quietGapMs(); }
    QString deviceName() const override { return m_inner.deviceName(); }
    PortError lastError() const override { return m_inner.lastError(); }

private:
    CommControl& m_inner;
    TraceLog& m_log;
    QString m_port;
};

} // namespace qm240lx
