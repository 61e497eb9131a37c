#pragma once

#include "link/CommControl.h"
#include "link/HostLookup.h"
#include "link/NetAddress.h"
#include "link/TelnetCodec.h"
#include "link/TlsAlerts.h"
#include "link/Wakeup.h"

#include <cstdint>
#include <functional>
#include <optional>

#include <QDeadlineTimer>
#include <QSslError>
#include <QSslSocket>
#include <QTimer>

namespace qm240lx {

// CommControl on a TCP connection to a serial device server: the COM number
// resolves to rfc2217://HOST:PORT, which sets the server's line to 9600 8N1
// without flow control, or to tcp://HOST:PORT, which leaves the line as the
// server set it; either inside TLS (rfc2217+tls://, tcp+tls://) with the
// configuration TlsCredentials installed, the handshake within the same
// bound as the connection. Received bytes wait in the socket, which the event loop
// fills, as a serial port's do; they are decoded when counted or read, and
// never more than receiveBufferSize of them are held. The opening (lookup,
// connection, negotiation) suspends its caller until the socket has news.
// No lock file applies.
class QtTcpComm : public CommControl
{
public:
    using DeviceResolver = std::function<std::optional<QString>(int com)>;

    // Connecting, the TLS handshake and agreeing on COM-PORT-OPTION must end
    // within this.
    static constexpr int connectLimitMs = 3000;
    static constexpr qint64 receiveBufferSize = 1024;
    // Answers to the server's negotiations beyond this much unsent output are
    // dropped: a server that asks without reading cannot make us hold more.
    static constexpr qint64 unsentLimit = 4096;
    // How many receive buffers one discardInput() drops at most.
    static constexpr int discardRounds = 64;
    // A server holds what the line brings until the line pauses or its own
    // timer runs out (ser2net: 2 character times, at most 20 ms by default),
    // then the network adds its own delay and jitter. Silence shorter than
    // that proves nothing about the adapter.
    static constexpr Tick networkQuietGapMs = 50;

    explicit QtTcpComm(DeviceResolver resolveAddress);
    ~QtTcpComm() override;
    QtTcpComm(const QtTcpComm&) = delete;
    QtTcpComm& operator=(const QtTcpComm&) = delete;

    // Numbers outside 1 to 255, and any number while connected, are refused.
    void setCommPort(int port) override;
    int commPort() const override;

    Task<bool> open() override;
    void close() override;
    bool portOpen() const override;
    void setNewsHandler(std::function<void()> handler) override;

    bool output(const QByteArray& bytes) override;

    void setInputLen(int length) override;
    int inputLen() const override;

    std::optional<int> inBufferCount() override;
    std::optional<QByteArray> input() override;
    // Also asks an RFC 2217 server to purge what it has received.
    void discardInput() override;
    Tick quietGapMs() const override { return networkQuietGapMs; }

    QString deviceName() const override;
    PortError lastError() const override;

private:
    Task<bool> connect(NetAddress address);
    bool fail(PortError::Kind kind, const QString& device, const QString& message);
    Task<bool> connectToAny(QList<QHostAddress> hosts, quint16 port);
    bool failLookingUp(const NetAddress& address, HostLookup::Failure failure);
    bool failConnecting(const NetAddress& address, QAbstractSocket::SocketError error);
    Task<bool> encrypt(NetAddress address);
    bool failEncrypting(const NetAddress& address);
    bool certificateGiven() const;
    Task<bool> negotiate(NetAddress address);
    Task<bool> awaitServer();
    bool failNegotiating(const NetAddress& address);
    bool failClosed(const NetAddress& address);
    void onSocketNews();
    void pull();
    void acknowledgeAtOnce();
    void send(const QByteArray& bytes);
    void onSocketError(QAbstractSocket::SocketError error);
    void markLost(const QString& reason);

    QSslSocket m_socket;
    DeviceResolver m_resolveAddress;
    int m_commPort = 1;
    int m_inputLen = 0;
    std::optional<NetAddress> m_address; // while connected
    std::optional<TelnetCodec> m_telnet; // for rfc2217:// only
    QByteArray m_received;
    QList<QSslError> m_certificateErrors; // of the handshake under way
    TlsAlerts m_alerts;                   // of the handshake under way, and after it
    // Neither a byte from the server nor one of the exchange's since the
    // handshake: a close now is the server's verdict on the handshake.
    bool m_quietSinceHandshake = false;
    std::optional<QAbstractSocket::SocketError> m_failure; // of the opening under way
    bool m_lost = false;
    PortError m_error;
    std::function<void()> m_news;
    // The opening under way: its deadline, and where it waits for the socket.
    QDeadlineTimer m_deadline;
    Wakeup m_socketNews;
    QTimer m_expiry;
    std::uint64_t m_openings = 0; // a close ends the opening under way
};

} // namespace qm240lx
