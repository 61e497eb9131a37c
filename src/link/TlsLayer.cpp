#include "link/TlsLayer.h"

#include "tls/TlsFailure.h"
#include "tls/TlsPeerName.h"

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace qm240lx {

// Qt's TLS socket on one end of a socket pair; the pump on the other end
// carries the encrypted bytes to and from the layer below.
struct TlsLayer::Sockets
{
    QSslSocket tls;
    QLocalSocket pump;
};

TlsLayer::TlsLayer(QString where, QString host, std::optional<QSslConfiguration> configuration,
                   std::unique_ptr<Layer> below)
    : m_where(std::move(where)), m_host(std::move(host)), m_configuration(std::move(configuration)),
      m_below(std::move(below))
{
    m_below->setNewsHandler([this] { onBelowNews(); });
}

TlsLayer::~TlsLayer()
{
    close();
}

Task<bool> TlsLayer::open(Deadline& deadline)
{
    close();
    m_error = {};
    const bool belowOpen = co_await m_below->open(deadline);
    if (!belowOpen)
        co_return false;
    if (!startHandshake())
        co_return fail(
            PortError{PortError::Kind::TlsFailed, m_where,
                      QStringLiteral("TLS with %1 failed: no socket pair for it.").arg(m_where)});
    const Deadline::Watch watch = deadline.watch(m_wakeup);
    while (handshaking() && !deadline.over())
        co_await m_wakeup;
    if (!m_sockets || !m_sockets->tls.isEncrypted())
        co_return failHandshake(deadline);
    const QSslCertificate certificate = m_sockets->tls.peerCertificate();
    if (!TlsPeerName::matches(certificate, m_host))
        co_return fail(TlsFailure::wrongName(m_where, m_host, certificate));
    m_open = true;
    m_quiet = true;
    co_return true;
}

bool TlsLayer::startHandshake()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    m_sockets = std::make_unique<Sockets>();
    // A socket owns its end only once it took it; the ends left are closed here.
    const bool tlsTook = m_sockets->tls.setSocketDescriptor(ends[0]);
    if (!tlsTook || !m_sockets->pump.setSocketDescriptor(ends[1])) {
        m_sockets.reset();
        if (!tlsTook)
            ::close(ends[0]);
        ::close(ends[1]);
        return false;
    }
    m_firstBytes.clear();
    m_certificateErrors.clear();
    m_alerts.clear();
    connectSockets();
    QSslConfiguration configuration =
        m_configuration.value_or(QSslConfiguration::defaultConfiguration());
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_sockets->tls.setSslConfiguration(configuration);
    m_sockets->tls.setReadBufferSize(receiveBufferSize);
    m_sockets->tls.setPeerVerifyName(m_host);
    m_sockets->tls.startClientEncryption();
    return true;
}

void TlsLayer::connectSockets()
{
    QSslSocket* tls = &m_sockets->tls;
    QLocalSocket* pump = &m_sockets->pump;
    const auto news = [this] { onTlsNews(); };
    QObject::connect(tls, &QSslSocket::encrypted, tls, news);
    QObject::connect(tls, &QIODevice::readyRead, tls, [this] {
        m_quiet = false;
        onTlsNews();
    });
    QObject::connect(tls, &QAbstractSocket::errorOccurred, tls, [this] {
        markLost();
        onTlsNews();
    });
    QObject::connect(tls, &QAbstractSocket::disconnected, tls, [this] {
        markLost();
        onTlsNews();
    });
    QObject::connect(tls, &QSslSocket::sslErrors, tls,
                     [this](const QList<QSslError>& errors) { m_certificateErrors = errors; });
    m_alerts.watch(*tls);
    QObject::connect(pump, &QIODevice::readyRead, pump, [this] { pumpOut(); });
    QObject::connect(pump, &QIODevice::bytesWritten, pump, [this] { pumpIn(); });
}

// The end of the layer below does not end the handshake by itself: what it
// received last, an alert for one, reaches the TLS socket first.
bool TlsLayer::handshaking() const
{
    return m_sockets && !m_sockets->tls.isEncrypted() &&
           m_sockets->tls.state() == QAbstractSocket::ConnectedState;
}

bool TlsLayer::isOpen() const
{
    return m_open && !m_lost && m_below->isOpen();
}

void TlsLayer::beginExchange()
{
    m_exchanging = true;
    m_below->beginExchange();
}

void TlsLayer::close()
{
    m_open = false;
    m_lost = false;
    m_exchanging = false;
    if (m_sockets) {
        QObject::disconnect(&m_sockets->tls, nullptr, nullptr, nullptr);
        QObject::disconnect(&m_sockets->pump, nullptr, nullptr, nullptr);
        m_sockets->tls.abort();
        m_sockets->pump.abort();
        m_sockets.reset();
    }
    m_wakeup.wake();
    m_below->close();
}

bool TlsLayer::fail(const PortError& error)
{
    close();
    m_error = error;
    return false;
}

bool TlsLayer::failHandshake(const Deadline& deadline)
{
    if (deadline.givenUp())
        return fail({PortError::Kind::GivenUp, m_where, openingGivenUp(m_where)});
    if (!m_certificateErrors.isEmpty())
        return fail(TlsFailure::certificate(m_where, m_host, m_certificateErrors));
    if (deadline.expired())
        return fail({PortError::Kind::TimedOut, m_where,
                     QStringLiteral("%1 did not finish the TLS handshake within %2 seconds. %3")
                         .arg(m_where)
                         .arg(deadline.limitMs() / 1000)
                         .arg(TlsFailure::notTlsSentence(m_where))});
    if (!m_firstBytes.isEmpty() && !TlsFailure::beginsTlsRecord(m_firstBytes))
        return fail(TlsFailure::notTls(m_where));
    if (m_firstBytes.isEmpty() && !m_alerts.received())
        return fail(
            {PortError::Kind::ClosedByServer, m_where,
             QStringLiteral("%1 closed the connection during the TLS handshake.").arg(m_where)});
    const QString reason = m_sockets ? m_sockets->tls.errorString() : m_below->failure().message;
    return fail(TlsFailure::handshake(m_where, m_alerts, reason, certificateGiven()));
}

bool TlsLayer::certificateGiven() const
{
    return m_configuration && !m_configuration->localCertificate().isNull();
}

bool TlsLayer::write(const QByteArray& bytes)
{
    // The TLS socket hands its records to the pump at once; what the layer
    // below has not taken yet waits there.
    if (!isOpen() || m_sockets->tls.bytesToWrite() + m_sockets->pump.bytesAvailable() > unsentLimit)
        return false;
    if (m_sockets->tls.write(bytes) != bytes.size())
        return false;
    if (m_exchanging)
        m_quiet = false;
    m_sockets->tls.flush();
    return true;
}

std::optional<int> TlsLayer::waiting()
{
    if (!isOpen())
        return std::nullopt;
    return static_cast<int>(std::min(m_sockets->tls.bytesAvailable(), receiveBufferSize));
}

std::optional<QByteArray> TlsLayer::take(int most)
{
    if (!isOpen())
        return std::nullopt;
    return m_sockets->tls.read(std::clamp<qint64>(most, 0, receiveBufferSize));
}

void TlsLayer::discard()
{
    for (int round = 0; round < discardRounds && isOpen() && m_sockets->tls.bytesAvailable() > 0;
         ++round)
        m_sockets->tls.read(receiveBufferSize);
}

void TlsLayer::onTlsNews()
{
    m_wakeup.wake();
    if (m_open && m_news)
        m_news();
}

void TlsLayer::onBelowNews()
{
    pumpIn();
    pumpOut();
    m_wakeup.wake();
}

// What the layer below received goes to the TLS socket while the pump has
// room; a layer below that is gone closes the pump, so that the TLS socket
// hears of it.
void TlsLayer::pumpIn()
{
    if (!m_sockets)
        return;
    while (m_sockets->pump.bytesToWrite() < pumpLimit) {
        const std::optional<QByteArray> chunk = m_below->take(static_cast<int>(receiveBufferSize));
        if (!chunk) {
            m_sockets->pump.disconnectFromServer();
            return;
        }
        if (chunk->isEmpty())
            return;
        if (m_firstBytes.size() < 2)
            m_firstBytes += chunk->left(2 - m_firstBytes.size());
        m_sockets->pump.write(*chunk);
    }
}

// What the TLS socket sends goes to the layer below as far as it takes it;
// the rest waits in the pump for the next news from either side.
void TlsLayer::pumpOut()
{
    if (!m_sockets)
        return;
    QLocalSocket& pump = m_sockets->pump;
    while (pump.bytesAvailable() > 0) {
        const QByteArray bytes = pump.peek(receiveBufferSize);
        if (!m_below->write(bytes))
            return;
        pump.skip(bytes.size());
    }
}

void TlsLayer::markLost()
{
    if (!m_open || m_lost)
        return;
    m_lost = true;
    m_error = lossAfterHandshake();
}

PortError TlsLayer::lossAfterHandshake() const
{
    if (m_alerts.received())
        return TlsFailure::handshake(m_where, m_alerts, {}, certificateGiven());
    if (m_quiet)
        return TlsFailure::closedAfterHandshake(m_where, certificateGiven());
    const PortError below = m_below->failure();
    if (below.isError())
        return below;
    return {PortError::Kind::Lost, m_where,
            QStringLiteral("The connection to %1 was lost (%2).")
                .arg(m_where, m_sockets->tls.errorString())};
}

PortError TlsLayer::failure() const
{
    return m_error.isError() ? m_error : m_below->failure();
}

} // namespace qm240lx
