#pragma once

#include "async/Wakeup.h"
#include "link/HostLookup.h"
#include "link/Layer.h"

#include <cstdint>
#include <functional>
#include <optional>

#include <QTcpSocket>

namespace qm240lx {

// A TCP connection to a serial device server: the host looked up, each of its
// addresses tried in turn, all within the opening's deadline. Received bytes
// wait in the socket, which the event loop fills and which never holds more
// than receiveBufferSize of them.
class TcpLayer : public Layer
{
public:
    static constexpr qint64 receiveBufferSize = 1024;
    // Writes beyond this much unsent output are refused: a server that does
    // not read cannot make us hold more.
    static constexpr qint64 unsentLimit = 4096;
    // How many receive buffers one discard() drops at most.
    static constexpr int discardRounds = 64;
    // A server holds what the line brings until the line pauses or its own
    // timer runs out (ser2net: 2 character times, at most 20 ms by default),
    // then the network adds its own delay and jitter. Silence shorter than
    // that proves nothing about the adapter.
    static constexpr Tick networkQuietGapMs = 50;

    // `where` names the port in messages: the address as its user gave it.
    TcpLayer(QString where, QString host, std::uint16_t port);
    ~TcpLayer() override;
    TcpLayer(const TcpLayer&) = delete;
    TcpLayer& operator=(const TcpLayer&) = delete;

    Task<bool> open(Deadline& deadline) override;
    void close() override;
    bool isOpen() const override { return m_connected && !m_lost; }
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override;
    std::optional<QByteArray> take(int most) override;
    void discard() override;
    Tick quietGapMs() const override { return networkQuietGapMs; }
    void setNewsHandler(std::function<void()> handler) override { m_news = std::move(handler); }
    PortError failure() const override { return m_error; }

private:
    Task<bool> connectToAny(QList<QHostAddress> hosts, Deadline& deadline);
    bool connecting() const;
    bool fail(PortError::Kind kind, const QString& message);
    bool failLookingUp(HostLookup::Failure failure, const Deadline& deadline);
    bool failConnecting(const Deadline& deadline);
    void onNews();
    void markLost(const QString& reason);
    void acknowledgeAtOnce();

    QString m_where;
    QString m_host;
    std::uint16_t m_port;
    QTcpSocket m_socket;
    Wakeup m_socketNews;
    bool m_connected = false;
    bool m_lost = false;
    PortError m_error;
    std::function<void()> m_news;
};

} // namespace qm240lx
