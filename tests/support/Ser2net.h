#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qm240lx::test {

// The real ser2net, serving each of its serial devices on the loopback
// twice: with the telnet COM-PORT-OPTION (rfc2217://) and raw (tcp://), each
// on a free port of its own, all plain or all inside TLS. Its configuration, pid file and output
// stay in a temporary folder. A test that needs it and cannot start it fails.
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
    // The same for several devices, in one ser2net.
    bool start(const QStringList& devices, const QString& line, const std::optional<Tls>& tls);

    // The addresses of the device given `index`th.
    QString rfc2217Address(int index = 0) const;
    QString tcpAddress(int index = 0) const;
    QString errorString() const { return m_error; }

    // Ends ser2net at once, as a crash or a pulled network cable would.
    void kill();

    // A loopback port nothing listens on at the moment.
    static std::uint16_t freePort();

private:
    bool waitUntilListening();
    QString configuration(const QStringList& devices, const QString& line) const;
    QString tlsLayer() const;
    bool allowClients();

    QTemporaryDir m_dir;
    QProcess m_process;
    struct Ports
    {
        std::uint16_t rfc2217 = 0;
        std::uint16_t tcp = 0;
    };
    std::vector<Ports> m_ports; // one pair a device
    std::optional<Tls> m_tls;
    QString m_error;
};

} // namespace qm240lx::test
