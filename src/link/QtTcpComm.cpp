#include "link/QtTcpComm.h"

#include "link/ComMap.h"
#include "link/TlsFailure.h"
#include "link/TlsPeerName.h"

#include <algorithm>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <utility>

#include <QSslConfiguration>

namespace qm240lx {

QtTcpComm::QtTcpComm(DeviceResolver resolveAddress) : m_resolveAddress(std::move(resolveAddress))
{
    QObject::connect(&m_socket, &QAbstractSocket::errorOccurred, &m_socket,
                     [this](QAbstractSocket::SocketError error) { onSocketError(error); });
    QObject::connect(&m_socket, &QAbstractSocket::disconnected, &m_socket, [this] {
        markLost(QStringLiteral("the server closed the connection"));
        onSocketNews();
    });
    QObject::connect(&m_socket, &QAbstractSocket::connected, &m_socket,
                     [this] { m_socketNews.wake(); });
    QObject::connect(&m_socket, &QSslSocket::encrypted, &m_socket, [this] { m_socketNews.wake(); });
    // With TLS 1.3 the server answers the client's Finished with its session
    // tickets and then its first record, which its Nagle holds until the
    // tickets are acknowledged: a delayed acknowledgement would cost 40 ms.
    QObject::connect(&m_socket, &QSslSocket::encryptedBytesWritten, &m_socket,
                     [this] { acknowledgeAtOnce(); });
    QObject::connect(&m_socket, &QSslSocket::sslErrors, &m_socket,
                     [this](const QList<QSslError>& errors) { m_certificateErrors = errors; });
    m_alerts.watch(m_socket);
    QObject::connect(&m_socket, &QIODevice::readyRead, &m_socket, [this] {
        m_quietSinceHandshake = false;
        onSocketNews();
    });
    // A coarse timer may fire up to 5 % early, before the deadline it stands
    // for: the opening would wait on with no timer left.
    m_expiry.setSingleShot(true);
    m_expiry.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_expiry, &QTimer::timeout, [this] {
        if (!m_deadline.hasExpired())
            m_expiry.start(static_cast<int>(m_deadline.remainingTime()) + 1);
        m_socketNews.wake();
    });
}

QtTcpComm::~QtTcpComm()
{
    close();
}

void QtTcpComm::setCommPort(int port)
{
    if (portOpen() || port < firstComNumber || port > lastComNumber)
        return;
    m_commPort = port;
}

int QtTcpComm::commPort() const
{
    return m_commPort;
}

void QtTcpComm::setNewsHandler(std::function<void()> handler)
{
    m_news = std::move(handler);
}

// The opening hears of it at once; a wait of the exchange from the event
// loop's next turn, outside the socket's own signal.
void QtTcpComm::onSocketNews()
{
    m_socketNews.wake();
    if (m_address && m_news)
        QMetaObject::invokeMethod(
            &m_socket, [this] { m_news(); }, Qt::QueuedConnection);
}

bool QtTcpComm::portOpen() const
{
    return m_address && !m_lost;
}

bool QtTcpComm::output(const QByteArray& bytes)
{
    if (!portOpen())
        return false;
    m_quietSinceHandshake = false;
    const QByteArray wire = m_telnet ? TelnetCodec::escape(bytes) : bytes;
    if (m_socket.write(wire) != wire.size())
        return false;
    m_socket.flush();
    return true;
}

void QtTcpComm::setInputLen(int length)
{
    m_inputLen = std::max(length, 0);
}

int QtTcpComm::inputLen() const
{
    return m_inputLen;
}

std::optional<int> QtTcpComm::inBufferCount()
{
    if (!portOpen())
        return std::nullopt;
    pull();
    return static_cast<int>(m_received.size());
}

std::optional<QByteArray> QtTcpComm::input()
{
    if (!portOpen())
        return std::nullopt;
    pull();
    const qsizetype wanted =
        m_inputLen == 0 ? m_received.size() : std::min<qsizetype>(m_inputLen, m_received.size());
    const QByteArray taken = m_received.left(wanted);
    m_received.remove(0, wanted);
    return taken;
}

// A server that sends without pause cannot keep this loop going: it takes
// at most discardRounds receive buffers.
void QtTcpComm::discardInput()
{
    if (!portOpen())
        return;
    for (int round = 0; round < discardRounds; ++round) {
        m_received.clear();
        pull();
        if (m_received.isEmpty())
            break;
    }
    m_received.clear();
    if (m_telnet)
        send(TelnetCodec::purgeReceivedData());
}

QString QtTcpComm::deviceName() const
{
    return m_resolveAddress(m_commPort).value_or(QString());
}

PortError QtTcpComm::lastError() const
{
    return m_error;
}

Task<bool> QtTcpComm::open()
{
    if (portOpen())
        co_return true;
    close();
    m_error = {};
    const std::optional<QString> target = m_resolveAddress(m_commPort);
    if (!target) {
        co_return fail(PortError::Kind::NoSuchDevice, QString(),
                       QStringLiteral("COM%1 stands for no port; set %2 to choose one.")
                           .arg(m_commPort)
                           .arg(comOverrideVariable(m_commPort)));
    }
    const std::optional<NetAddress> address = NetAddress::parse(*target);
    if (!address) {
        co_return fail(PortError::Kind::BadAddress, *target,
                       QStringLiteral("%1 is no network port: expected %2.")
                           .arg(*target, QLatin1String(NetAddress::accepted)));
    }
    co_return co_await connect(*address);
}

Task<bool> QtTcpComm::connect(NetAddress address)
{
    const std::uint64_t opening = ++m_openings;
    m_failure.reset();
    m_deadline = QDeadlineTimer(connectLimitMs);
    m_expiry.start(connectLimitMs + 1);
    const auto hosts = co_await HostLookup::run(address.host, m_deadline);
    if (opening != m_openings)
        co_return failClosed(address);
    if (const auto* failure = std::get_if<HostLookup::Failure>(&hosts))
        co_return failLookingUp(address, *failure);
    m_socket.setReadBufferSize(receiveBufferSize);
    const bool connected =
        co_await connectToAny(std::get<QList<QHostAddress>>(hosts), address.port);
    if (opening != m_openings)
        co_return failClosed(address);
    if (!connected)
        co_return failConnecting(address, m_deadline.hasExpired()
                                              ? QAbstractSocket::SocketTimeoutError
                                              : m_socket.error());
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (address.tls) {
        const bool encrypted = co_await encrypt(address);
        if (!encrypted)
            co_return false;
    }
    if (opening != m_openings)
        co_return failClosed(address);
    if (address.kind == NetAddress::Kind::Rfc2217) {
        const bool negotiated = co_await negotiate(address);
        if (!negotiated)
            co_return false;
    }
    if (opening != m_openings)
        co_return failClosed(address);
    m_expiry.stop();
    m_received.clear(); // sent before this opening
    m_address = address;
    co_return true;
}

// Each address of the host in turn while the deadline allows: a name may
// stand for ::1 and 127.0.0.1 while the server listens on only one of them.
Task<bool> QtTcpComm::connectToAny(QList<QHostAddress> hosts, quint16 port)
{
    const std::uint64_t opening = m_openings;
    for (const QHostAddress& host : hosts) {
        m_socket.abort();
        m_socket.connectToHost(host, port);
        while (m_socket.state() != QAbstractSocket::UnconnectedState &&
               m_socket.state() != QAbstractSocket::ConnectedState && !m_deadline.hasExpired() &&
               opening == m_openings)
            co_await m_socketNews;
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            co_return true;
        if (m_deadline.hasExpired() || opening != m_openings)
            break;
    }
    co_return false;
}

void QtTcpComm::close()
{
    ++m_openings;
    m_expiry.stop();
    m_socketNews.wake();
    m_address.reset();
    m_telnet.reset();
    m_received.clear();
    m_lost = false;
    m_socket.abort();
}

bool QtTcpComm::fail(PortError::Kind kind, const QString& device, const QString& message)
{
    m_error = PortError{kind, device, message};
    m_socket.abort();
    m_telnet.reset();
    return false;
}

bool QtTcpComm::failLookingUp(const NetAddress& address, HostLookup::Failure failure)
{
    const QString where = address.text();
    if (failure == HostLookup::Failure::Unknown)
        return failConnecting(address, QAbstractSocket::HostNotFoundError);
    return fail(PortError::Kind::Other, where,
                QStringLiteral("%1: the host %2 could not be looked up within %3 seconds; the "
                               "name server does not answer.")
                    .arg(where, address.host)
                    .arg(connectLimitMs / 1000));
}

bool QtTcpComm::failConnecting(const NetAddress& address, QAbstractSocket::SocketError error)
{
    const QString where = address.text();
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return fail(PortError::Kind::Other, where,
                    QStringLiteral("%1 refused the connection; nothing listens there.").arg(where));
    case QAbstractSocket::HostNotFoundError:
        return fail(PortError::Kind::Other, where,
                    QStringLiteral("%1: the host %2 is unknown.").arg(where, address.host));
    case QAbstractSocket::SocketTimeoutError:
        return fail(PortError::Kind::Other, where,
                    QStringLiteral("%1 did not answer the connection within %2 seconds.")
                        .arg(where)
                        .arg(connectLimitMs / 1000));
    default:
        return fail(PortError::Kind::Other, where,
                    QStringLiteral("Cannot connect to %1: %2").arg(where, m_socket.errorString()));
    }
}

// The server's certificate is verified against the installed trust and must
// be made out to the host as the address names it.
Task<bool> QtTcpComm::encrypt(NetAddress address)
{
    const std::uint64_t opening = m_openings;
    m_certificateErrors.clear();
    m_alerts.clear();
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_socket.setSslConfiguration(configuration);
    m_socket.setPeerVerifyName(address.host);
    m_socket.startClientEncryption();
    m_quietSinceHandshake = true;
    while (!m_socket.isEncrypted() && !m_failure &&
           m_socket.state() == QAbstractSocket::ConnectedState && !m_deadline.hasExpired() &&
           opening == m_openings)
        co_await m_socketNews;
    if (opening != m_openings)
        co_return failClosed(address);
    if (!m_socket.isEncrypted())
        co_return failEncrypting(address);
    if (!TlsPeerName::matches(m_socket.peerCertificate(), address.host))
        co_return fail(
            PortError::Kind::Other, address.text(),
            TlsFailure::wrongName(address.text(), address.host, m_socket.peerCertificate()));
    co_return true;
}

bool QtTcpComm::failEncrypting(const NetAddress& address)
{
    const QString where = address.text();
    if (!m_certificateErrors.isEmpty())
        return fail(PortError::Kind::Other, where,
                    TlsFailure::certificate(where, address.host, m_certificateErrors));
    if (m_deadline.hasExpired())
        return fail(PortError::Kind::Other, where,
                    QStringLiteral("%1 did not finish the TLS handshake within %2 seconds. %3")
                        .arg(where)
                        .arg(connectLimitMs / 1000)
                        .arg(TlsFailure::notTls(where)));
    if (!m_failure || *m_failure == QAbstractSocket::RemoteHostClosedError)
        return fail(
            PortError::Kind::Other, where,
            QStringLiteral("%1 closed the connection during the TLS handshake.").arg(where));
    return fail(PortError::Kind::Other, where,
                TlsFailure::handshake(where, m_alerts, m_socket.errorString(), certificateGiven()));
}

bool QtTcpComm::certificateGiven() const
{
    return !m_socket.sslConfiguration().localCertificate().isNull();
}

// Asks for BINARY and COM-PORT-OPTION and, once the server takes the latter,
// sets the line. Data the server sends meanwhile is dropped with the rest.
Task<bool> QtTcpComm::negotiate(NetAddress address)
{
    const QString where = address.text();
    m_telnet.emplace();
    send(TelnetCodec::negotiation());
    while (m_telnet && m_telnet->comPort() == TelnetCodec::ComPort::Asked) {
        const bool answered = co_await awaitServer();
        if (!answered)
            co_return failNegotiating(address);
        pull();
        m_received.clear();
    }
    if (!m_telnet)
        co_return failClosed(address);
    if (m_telnet->comPort() == TelnetCodec::ComPort::Refused) {
        co_return fail(PortError::Kind::Other, where,
                       QStringLiteral("%1 refuses RFC 2217 (COM-PORT-OPTION); for a raw TCP port "
                                      "use tcp://.")
                           .arg(where));
    }
    send(TelnetCodec::lineSettings());
    co_return true;
}

// Whether the server has more to say before the deadline; one that keeps
// sending does not extend it.
Task<bool> QtTcpComm::awaitServer()
{
    while (!m_deadline.hasExpired() && m_socket.state() == QAbstractSocket::ConnectedState &&
           m_socket.bytesAvailable() == 0)
        co_await m_socketNews;
    co_return !m_deadline.hasExpired() && m_socket.state() == QAbstractSocket::ConnectedState &&
        m_socket.bytesAvailable() > 0;
}

bool QtTcpComm::failNegotiating(const NetAddress& address)
{
    const QString where = address.text();
    if (address.tls && m_failure && TlsFailure::isTlsFailure(m_alerts, m_socket.errorString()))
        return failEncrypting(address);
    if (address.tls && m_quietSinceHandshake && m_socket.state() != QAbstractSocket::ConnectedState)
        return fail(PortError::Kind::Other, where,
                    TlsFailure::closedAfterHandshake(where, certificateGiven()));
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return fail(PortError::Kind::Other, where,
                    QStringLiteral("%1 closed the connection at once.").arg(where));
    return fail(PortError::Kind::Other, where,
                QStringLiteral("%1 did not take up RFC 2217 within %2 seconds; for a raw TCP "
                               "port use tcp://.")
                    .arg(where)
                    .arg(connectLimitMs / 1000));
}

bool QtTcpComm::failClosed(const NetAddress& address)
{
    const QString where = address.text();
    return fail(PortError::Kind::Other, where,
                QStringLiteral("The opening of %1 was given up.").arg(where));
}

// Takes what the socket holds, up to the receive buffer's room; with RFC 2217
// the telnet sequences go and the answers they call for are sent.
void QtTcpComm::pull()
{
    while (m_received.size() < receiveBufferSize && m_socket.bytesAvailable() > 0) {
        const QByteArray chunk = m_socket.read(receiveBufferSize - m_received.size());
        if (chunk.isEmpty())
            return;
        acknowledgeAtOnce();
        if (!m_telnet) {
            m_received += chunk;
            continue;
        }
        const TelnetCodec::Decoded decoded = m_telnet->decode(chunk);
        m_received += decoded.data;
        send(decoded.replies);
    }
}

// A server that answers in several small writes (ser2net: the reply to a
// purge, then the adapter's bytes) holds back the later ones until the
// earlier are acknowledged; a delayed acknowledgement would add up to 40 ms
// to every reply.
void QtTcpComm::acknowledgeAtOnce()
{
    const int on = 1;
    ::setsockopt(static_cast<int>(m_socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on,
                 sizeof on);
}

void QtTcpComm::send(const QByteArray& bytes)
{
    if (bytes.isEmpty() || m_socket.bytesToWrite() > unsentLimit)
        return;
    m_socket.write(bytes);
    m_socket.flush();
}

void QtTcpComm::onSocketError(QAbstractSocket::SocketError error)
{
    if (!m_address)
        m_failure = error;
    if (error != QAbstractSocket::SocketTimeoutError)
        markLost(m_socket.errorString());
    onSocketNews();
}

// The wait under way ends at its next pass; the socket is closed with the
// port, as the window or the tool closes it.
void QtTcpComm::markLost(const QString& reason)
{
    if (!m_address || m_lost)
        return;
    m_lost = true;
    const QString where = m_address->text();
    if (m_address->tls && TlsFailure::isTlsFailure(m_alerts, reason)) {
        m_error = PortError{PortError::Kind::Lost, where,
                            TlsFailure::handshake(where, m_alerts, reason, certificateGiven())};
        return;
    }
    if (m_address->tls && m_quietSinceHandshake) {
        m_error = PortError{PortError::Kind::Lost, where,
                            TlsFailure::closedAfterHandshake(where, certificateGiven())};
        return;
    }
    m_error = PortError{PortError::Kind::Lost, where,
                        QStringLiteral("The connection to %1 was lost (%2).").arg(where, reason)};
}

} // namespace qm240lx
