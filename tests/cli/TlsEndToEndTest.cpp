// The built qm240lx (and qm240lx-setup) over TLS: against the adapter
// emulator behind the real ser2net serving TLS, with certificates made by
// openssl, and against servers that are no good TLS peers.
#include "CliProcess.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"
#include "support/TestCertificates.h"

#include <optional>

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

using test::CliProcess;
using test::expectEnd;
using test::Ser2net;
using test::TestCertificates;

// The emulator behind ser2net, plain or serving TLS.
struct Served
{
    Served(const std::optional<Ser2net::Tls>& tls, const QStringList& simArguments = {})
        : sim(simArguments)
    {
        EXPECT_TRUE(server.start(sim.devicePath(), QStringLiteral("9600n81"), tls))
            << server.errorString().toStdString();
    }
    test::StartedSim sim;
    Ser2net server;
};

Ser2net::Tls serving(const QString& cert, const QString& clientCa = {})
{
    return {cert, QString(cert).replace(".crt", ".key"), clientCa};
}

// openssl s_server limited to TLS 1.1, as an old device server would be.
class OldTlsServer
{
public:
    OldTlsServer()
    {
        const TestCertificates& pki = TestCertificates::get();
        port = Ser2net::freePort();
        m_process.start("openssl", {"s_server", "-accept", QStringLiteral("127.0.0.1:%1").arg(port),
                                    "-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0", "-cert",
                                    pki.serverCert(), "-key", pki.serverKey()});
        while (m_process.waitForReadyRead(10000) && !m_process.readAll().contains("ACCEPT")) {
        }
    }
    ~OldTlsServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    std::uint16_t port = 0;

private:
    QProcess m_process;
};

TEST(TlsPorts, DetectReadAndSaveWithAndWithoutAClientCertificate)
{
    const TestCertificates& pki = TestCertificates::get();
    const struct
    {
        bool rfc2217;
        bool clientCertificate; // demanded by the server, and given
    } cases[] = {{true, false}, {false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rfc2217 ? "rfc2217+tls" : "tcp+tls");
        QTemporaryDir dir;
        const QString flash = dir.filePath("flash");
        Served served(serving(pki.serverCert(), c.clientCertificate ? pki.ca() : QString()),
                      {"--flash", flash});
        const QString address =
            c.rfc2217 ? served.server.rfc2217Address() : served.server.tcpAddress();
        QStringList tls{"--tls-ca", pki.ca()};
        if (c.clientCertificate)
            tls << "--tls-cert" << pki.clientCert() << "--tls-key" << pki.clientKey();

        // By name, through the COM map and with the CA from the environment.
        const QString byName = QString(address).replace("127.0.0.1", "localhost");
        const QStringList clientFiles = tls.mid(2);
        const CliProcess detected =
            CliProcess::run(QStringList{"--port", "COM5"} << clientFiles << "detect", {{5, byName}},
                            {}, {}, {{"QM240LX_TLS_CA", pki.ca()}});
        expectEnd(detected, 0, "ready on COM5");

        const qsizetype receivedBefore = served.sim.received().size();
        const CliProcess set =
            CliProcess::run(QStringList{"--port", address, "--json", "--trace"} << tls << "set"
                                                                                << "--protocol"
                                                                                << "obex"
                                                                                << "--save",
                            {});
        ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
        EXPECT_TRUE(set.json()["saved"].toBool());
        // The trace shows the bytes inside TLS, as the adapter got them.
        test::expectSavedThrough(set, served.sim, receivedBefore, flash);
    }
}

// ser2net killed while the probe waits for a silent adapter: the loss of
// the connection, not a verdict on the handshake.
TEST(TlsPorts, AServerLostDuringAWaitIsALostConnection)
{
    Served served(serving(TestCertificates::get().serverCert()), {"--silent", "ac"});
    QProcess detect;
    QProcessEnvironment environment = CliProcess::environment({});
    environment.insert("QM240LX_TLS_CA", TestCertificates::get().ca());
    detect.setProcessEnvironment(environment);
    detect.start(QStringLiteral(QM240LX_CLI_PATH),
                 {"--port", served.server.tcpAddress(), "detect"});
    ASSERT_TRUE(served.sim.waitForReceived(1));
    served.server.kill();
    ASSERT_TRUE(detect.waitForFinished(10000));
    EXPECT_EQ(detect.exitCode(), 74);
    EXPECT_TRUE(detect.readAllStandardError().contains(
        "The connection to " + served.server.tcpAddress().toUtf8() + " was lost"));
}

enum class Server
{
    Good,
    WrongName,
    Expired,
    DemandsClientCertificate,
    Plain,
    OldTls,
};

TEST(TlsPorts, EachFailureSaysWhatFailedAndShowsNoKey)
{
    const TestCertificates& pki = TestCertificates::get();
    const struct
    {
        const char* name;
        Server server;
        bool rfc2217;
        QStringList files;
        int exitCode;
        QString mentions;
        const char* program = QM240LX_CLI_PATH;
    } cases[] = {
        {"another CA",
         Server::Good,
         true,
         {"--tls-ca", pki.otherCa()},
         74,
         "issued by qm240lx test CA"},
        {"another name",
         Server::WrongName,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "made out to adapters.example.com, not to 127.0.0.1"},
        {"expired", Server::Expired, true, {"--tls-ca", pki.ca()}, 74, "certificate expired on"},
        {"no client certificate",
         Server::DemandsClientCertificate,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "demands a client certificate, and none was given"},
        {"client certificate of another CA",
         Server::DemandsClientCertificate,
         true,
         {"--tls-ca", pki.ca(), "--tls-cert", pki.strangerCert(), "--tls-key", pki.strangerKey()},
         74,
         "refused the client certificate"},
        {"plain telnet", Server::Plain, true, {}, 74, "does not speak TLS; the TLS greeting may"},
        {"plain raw", Server::Plain, false, {}, 74, "does not speak TLS; the TLS greeting may"},
        {"TLS 1.1 only",
         Server::OldTls,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "offers only a TLS version older than 1.2"},
        {"key others can read",
         Server::DemandsClientCertificate,
         false,
         {"--tls-cert", pki.clientCert(), "--tls-key", pki.exposedKey()},
         77,
         "(mode 0644); make it private: chmod 600 " + pki.exposedKey()},
        {"key others can read, the window",
         Server::DemandsClientCertificate,
         false,
         {"--tls-cert", pki.clientCert(), "--tls-key", pki.exposedKey()},
         77,
         "chmod 600",
         QM240LX_SETUP_PATH},
        {"passphrase key",
         Server::DemandsClientCertificate,
         false,
         {"--tls-cert", pki.clientCert(), "--tls-key", pki.passphraseKey()},
         77,
         "is protected by a passphrase"},
        {"corrupt key",
         Server::DemandsClientCertificate,
         false,
         {"--tls-cert", pki.clientCert(), "--tls-key", pki.corruptKey()},
         78,
         "holds no PEM private key"},
        {"key of another certificate",
         Server::DemandsClientCertificate,
         false,
         {"--tls-cert", pki.clientCert(), "--tls-key", pki.strangerKey()},
         78,
         "does not belong to the certificate"},
        {"no CA file",
         Server::Good,
         false,
         {"--tls-ca", pki.path("none.crt")},
         78,
         "Cannot read the TLS CA file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<Served> served;
        std::optional<OldTlsServer> oldTls;
        QString address;
        if (c.server == Server::OldTls) {
            oldTls.emplace();
            address = QStringLiteral("tcp+tls://127.0.0.1:%1").arg(oldTls->port);
        } else {
            const QString cert = c.server == Server::WrongName ? pki.wrongNameCert()
                                 : c.server == Server::Expired ? pki.expiredCert()
                                                               : pki.serverCert();
            const QString clientCa =
                c.server == Server::DemandsClientCertificate ? pki.ca() : QString();
            served.emplace(c.server == Server::Plain ? std::nullopt
                                                     : std::optional(serving(cert, clientCa)));
            address = c.rfc2217 ? served->server.rfc2217Address() : served->server.tcpAddress();
            address.replace("rfc2217://", "rfc2217+tls://").replace("tcp://", "tcp+tls://");
        }
        const CliProcess run = CliProcess::run(
            QStringList{"--port", address} << c.files << "detect", {}, {}, c.program);
        expectEnd(run, c.exitCode, c.mentions);
        if (c.exitCode == 74)
            EXPECT_TRUE(run.standardError().contains(address)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("PRIVATE KEY") || run.err.contains("secret"));
        // Refused before anything was opened, or by the server before it
        // passed a byte on.
        if (served && c.server != Server::Plain)
            EXPECT_TRUE(served->sim.received().isEmpty())
                << served->sim.received().toHex(' ').toStdString();
    }
}

} // namespace
} // namespace qm240lx
