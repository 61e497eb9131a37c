#include "link/TcpLayer.h"

#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <utility>

namespace qm240lx {

TcpLayer::TcpLayer(QString where, QString host, std::uint16_t port)
    : m_where(std::move(where)), m_host(std::move(host)), m_port(port)
{
    QObject::connect(&m_socket, &QAbstractSocket::errorOccurred, &m_socket,
                     [this](QAbstractSocket::SocketError error) {
                         if (error != QAbstractSocket::SocketTimeoutError)
                             markLost(m_socket.errorString());
                         onNews();
                     });
    QObject::connect(&m_socket, &QAbstractSocket::disconnected, &m_socket, [this] {
        markLost(QStringLiteral("the server closed the connection"));
        onNews();
    });
    QObject::connect(&m_socket, &QAbstractSocket::connected, &m_socket,
                     [this] { m_socketNews.wake(); });
    QObject::connect(&m_socket, &QIODevice::readyRead, &m_socket, [this] { onNews(); });
    // A server that answers in several small writes (ser2net: the reply to a
    // purge, then the adapter's bytes; with TLS 1.3 its session tickets, then
    // its first record) holds back the later ones until the earlier are
    // acknowledged: a delayed acknowledgement would add up to 40 ms.
    QObject::connect(&m_socket, &QIODevice::bytesWritten, &m_socket,
                     [this] { acknowledgeAtOnce(); });
}

TcpLayer::~TcpLayer()
{
    close();
}

Task<bool> TcpLayer::open(Deadline& deadline)
{
    close();
    m_error = {};
    const auto hosts = co_await HostLookup::run(m_host, deadline);
    if (const auto* failure = std::get_if<HostLookup::Failure>(&hosts))
        co_return failLookingUp(*failure, deadline);
    m_socket.setReadBufferSize(receiveBufferSize);
    const bool connected = co_await connectToAny(std::get<QList<QHostAddress>>(hosts), deadline);
    if (!connected)
        co_return failConnecting(deadline);
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connected = true;
    co_return true;
}

bool TcpLayer::connecting() const
{
    return m_socket.state() != QAbstractSocket::UnconnectedState &&
           m_socket.state() != QAbstractSocket::ConnectedState;
}

// Each address of the host in turn while the deadline allows: a name may
// stand for ::1 and 127.0.0.1 while the server listens on only one of them.
Task<bool> TcpLayer::connectToAny(QList<QHostAddress> hosts, Deadline& deadline)
{
    const Deadline::Watch watch = deadline.watch(m_socketNews);
    for (const QHostAddress& host : hosts) {
        m_socket.abort();
        m_socket.connectToHost(host, m_port);
        while (connecting() && !deadline.over())
            co_await m_socketNews;
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            co_return true;
        if (deadline.over())
            break;
    }
    co_return false;
}

void TcpLayer::close()
{
    m_connected = false;
    m_lost = false;
    m_socketNews.wake();
    m_socket.abort();
}

bool TcpLayer::write(const QByteArray& bytes)
{
    if (!isOpen() || m_socket.bytesToWrite() > unsentLimit)
        return false;
    if (m_socket.write(bytes) != bytes.size())
        return false;
    m_socket.flush();
    return true;
}

std::optional<int> TcpLayer::waiting()
{
    if (!isOpen())
        return std::nullopt;
    return static_cast<int>(m_socket.bytesAvailable());
}

std::optional<QByteArray> TcpLayer::take(int most)
{
    if (!isOpen())
        return std::nullopt;
    const QByteArray taken = m_socket.read(std::max(most, 0));
    if (!taken.isEmpty())
        acknowledgeAtOnce();
    return taken;
}

// A server that sends without pause cannot keep this loop going: it takes
// at most discardRounds receive buffers.
void TcpLayer::discard()
{
    for (int round = 0; round < discardRounds && isOpen() && m_socket.bytesAvailable() > 0; ++round)
        m_socket.read(receiveBufferSize);
}

bool TcpLayer::fail(PortError::Kind kind, const QString& message)
{
    m_error = PortError{kind, m_where, message};
    m_socket.abort();
    return false;
}

bool TcpLayer::failLookingUp(HostLookup::Failure failure, const Deadline& deadline)
{
    if (deadline.givenUp())
        return fail(PortError::Kind::GivenUp, openingGivenUp(m_where));
    if (failure == HostLookup::Failure::Unknown)
        return fail(PortError::Kind::UnknownHost,
                    QStringLiteral("%1: the host %2 is unknown.").arg(m_where, m_host));
    return fail(PortError::Kind::TimedOut,
                QStringLiteral("%1: the host %2 could not be looked up within %3 seconds; the "
                               "name server does not answer.")
                    .arg(m_where, m_host)
                    .arg(deadline.limitMs() / 1000));
}

bool TcpLayer::failConnecting(const Deadline& deadline)
{
    if (deadline.givenUp())
        return fail(PortError::Kind::GivenUp, openingGivenUp(m_where));
    if (deadline.expired())
        return fail(PortError::Kind::TimedOut,
                    QStringLiteral("%1 did not answer the connection within %2 seconds.")
                        .arg(m_where)
                        .arg(deadline.limitMs() / 1000));
    switch (m_socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return fail(
            PortError::Kind::Refused,
            QStringLiteral("%1 refused the connection; nothing listens there.").arg(m_where));
    case QAbstractSocket::HostNotFoundError:
        return fail(PortError::Kind::UnknownHost,
                    QStringLiteral("%1: the host %2 is unknown.").arg(m_where, m_host));
    default:
        return fail(
            PortError::Kind::Unreachable,
            QStringLiteral("Cannot connect to %1: %2").arg(m_where, m_socket.errorString()));
    }
}

// The opening hears of it at once, the layer above as well.
void TcpLayer::onNews()
{
    m_socketNews.wake();
    if (m_connected && m_news)
        m_news();
}

// The wait under way ends at its next pass; the socket is closed with the
// port, as the window or the tool closes it.
void TcpLayer::markLost(const QString& reason)
{
    if (!m_connected || m_lost)
        return;
    m_lost = true;
    m_error = PortError{PortError::Kind::Lost, m_where,
                        QStringLiteral("The connection to %1 was lost (%2).").arg(m_where, reason)};
}

void TcpLayer::acknowledgeAtOnce()
{
    const int on = 1;
    ::setsockopt(static_cast<int>(m_socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on,
                 sizeof on);
}

} // namespace qm240lx
