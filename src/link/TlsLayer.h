#pragma once

#include "async/Wakeup.h"
#include "link/Layer.h"
#include "tls/TlsAlerts.h"

#include <memory>
#include <optional>

#include <QLocalSocket>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

namespace qm240lx {

// TLS 1.2 or later over the layer below, whatever it is: Qt's TLS socket
// speaks over one end of a socket pair, and the bytes of the other end are
// carried to and from the layer below. The server's certificate is verified
// against the port's own configuration (its CA, or the system's trust) and
// must be made out to the host as the address names it, as careful clients
// check it; the handshake counts within the opening's deadline. Why it failed
// is told from Qt's typed verdicts and the first bytes of the server's
// answer, never from the wording of a message. Qt decrypts a whole record
// (up to 16 KiB) at once; of it, no more than receiveBufferSize bytes count
// as received at a time, the rest following as they are taken. No more than
// pumpLimit encrypted bytes wait on their way in.
class TlsLayer : public Layer
{
public:
    static constexpr qint64 receiveBufferSize = 1024;
    static constexpr qint64 unsentLimit = 4096;
    static constexpr qint64 pumpLimit = 16 * 1024;
    static constexpr int discardRounds = 64;

    // `configuration`: the trust and the client's certificate; the process's
    // default when none is given.
    TlsLayer(QString where, QString host, std::optional<QSslConfiguration> configuration,
             std::unique_ptr<Layer> below);
    ~TlsLayer() override;
    TlsLayer(const TlsLayer&) = delete;
    TlsLayer& operator=(const TlsLayer&) = delete;

    Task<bool> open(Deadline& deadline) override;
    void close() override;
    bool isOpen() const override;
    void beginExchange() override;
    bool write(const QByteArray& bytes) override;
    std::optional<int> waiting() override;
    std::optional<QByteArray> take(int most) override;
    void discard() override;
    Tick quietGapMs() const override { return m_below->quietGapMs(); }
    void setNewsHandler(std::function<void()> handler) override { m_news = std::move(handler); }
    PortError failure() const override;

private:
    struct Sockets;

    bool startHandshake();
    bool handshaking() const;
    bool fail(const PortError& error);
    bool failHandshake(const Deadline& deadline);
    bool certificateGiven() const;
    void connectSockets();
    void onTlsNews();
    void onBelowNews();
    void pumpIn();
    void pumpOut();
    void markLost();
    PortError lossAfterHandshake() const;

    QString m_where;
    QString m_host;
    std::optional<QSslConfiguration> m_configuration;
    std::unique_ptr<Layer> m_below;
    std::unique_ptr<Sockets> m_sockets; // while opening or open
    Wakeup m_wakeup;
    QByteArray m_firstBytes; // of the server's answer, to tell TLS from anything else
    QList<QSslError> m_certificateErrors;
    TlsAlerts m_alerts; // of the handshake under way, and after it
    bool m_open = false;
    bool m_lost = false;
    bool m_exchanging = false;
    // Neither a byte from the server nor one of the exchange's since the
    // handshake: a close now is the server's verdict on the handshake.
    bool m_quiet = false;
    PortError m_error;
    std::function<void()> m_news;
};

} // namespace qm240lx
