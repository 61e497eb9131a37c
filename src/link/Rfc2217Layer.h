#pragma once

#include "async/Wakeup.h"
#include "link/Layer.h"
#include "link/TelnetCodec.h"

#include <memory>
#include <optional>

namespace qm240lx {

// RFC 2217 over the layer below: telnet with the COM-PORT-OPTION, which sets
// the server's line to 9600 8N1 without flow control and purges what the
// server has received before each command. The serial data is decoded from
// the telnet stream when it is counted or taken, and no more than
// receiveBufferSize of it is held.
class Rfc2217Layer : public Layer
{
public:
    static constexpr qsizetype receiveBufferSize = 1024;
    // How many receive buffers one discard() decodes and drops at most.
    static constexpr int discardRounds = 64;

    Rfc2217Layer(QString where, std::unique_ptr<Layer> below);

    Task<bool> open(Deadline& deadline) override;
    void close() override;
    bool isOpen() const override { return m_telnet && m_below->isOpen(); }
    void beginExchange() override { m_below->beginExchange(); }
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override;
    std::optional<QByteArray> take(int most) override;
    // Also asks the server to purge what it has received.
    void discard() override;
    Tick quietGapMs() const override { return m_below->quietGapMs(); }
    void setNewsHandler(std::function<void()> handler) override { m_news = std::move(handler); }
    PortError failure() const override;

private:
    Task<bool> negotiate(Deadline& deadline);
    Task<bool> awaitServer(Deadline& deadline);
    bool failNegotiating(const Deadline& deadline);
    bool fail(PortError::Kind kind, const QString& message);
    void pull();
    void onBelowNews();

    QString m_where;
    std::unique_ptr<Layer> m_below;
    std::optional<TelnetCodec> m_telnet; // while negotiating or open
    QByteArray m_received;
    Wakeup m_belowNews;
    PortError m_error;
    std::function<void()> m_news;
};

} // namespace qm240lx
