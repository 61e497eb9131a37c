#pragma once

#include "cli/TraceLog.h"
#include "link/Port.h"

namespace qm240lx {

// A port that logs every byte written to and read from another one.
class TracingPort : public Port
{
public:
    // `port` names the port in the log.
    TracingPort(Port& inner, TraceLog& log, QString port);

    Task<bool> open() override { return m_inner.open(); }
    Task<> close() override { return m_inner.close(); }
    bool isOpen() const override { return m_inner.isOpen(); }
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override { return m_inner.waiting(); }
    std::optional<QByteArray> take(int most) override;
    // Takes what is waiting before dropping it, so that the log shows it.
    void discard() override;
    Tick quietGapMs() const override { return m_inner.quietGapMs(); }
    void setNewsHandler(std::function<void()> handler) override
    {
        m_inner.setNewsHandler(std::move(handler));
    }
    PortError failure() const override { return m_inner.failure(); }

private:
    Port& m_inner;
    TraceLog& m_log;
    QString m_port;
};

} // namespace qm240lx
