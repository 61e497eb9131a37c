#pragma once

#include <cstdint>
#include <optional>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace qm240lx::test {

// The real ser2net, serving one serial device on the loopback twice: with
// the telnet COM-PORT-OPTION (rfc2217://) and raw (tcp://), each on a free
// port of its own, both plain or both inside TLS. Its configuration, pid file and output stay in a
// temporary folder. A test that needs it and cannot start it fails.
class Ser2net
{
public:
    Ser2net() = default;
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Both ports inside TLS with this certificate and key; with a client CA,
    // only a client certificate that CA issued to "client" gets through.
    struct Tls
    {
        QString cert;
        QString key;
        QString clientCa;
    };

    // Serves `device`, which ser2net opens at `line` ("9600n81", "1200n81")
    // for each connection. False, with errorString() set, when ser2net does
    // not listen on both ports within a few seconds.
    bool start(const QString& device, const QString& line = QStringLiteral("9600n81"),
               const std::optional<Tls>& tls = std::nullopt);

    QString rfc2217Address() const;
    QString tcpAddress() const;
    QString errorString() const { return m_error; }

    // Ends ser2net at once, as a crash or a pulled network cable would.
    void kill();

    // A loopback port nothing listens on at the moment.
    static std::uint16_t freePort();

private:
    bool waitUntilListening();
    QString configuration(const QString& device, const QString& line) const;
    QString tlsLayer() const;
    bool allowClients();

    QTemporaryDir m_dir;
    QProcess m_process;
    std::uint16_t m_rfc2217Port = 0;
    std::uint16_t m_tcpPort = 0;
    std::optional<Tls> m_tls;
    QString m_error;
};

} // namespace qm240lx::test
