// The built qm240lx (and qm240lx-setup) over TLS: against the adapter
// emulator behind the real ser2net serving TLS, with certificates made by
// openssl, and against servers that are no good TLS peers.
#include "CliProcess.h"
#include "support/Ser2net.h"
#include "support/SimProcess.h"
#include "support/TestCertificates.h"

#include <algorithm>
#include <map>
#include <optional>
#include <sys/stat.h>

#include <QFile>
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

// openssl s_server with the good certificate and `options`: limited to TLS
// 1.1 as an old device server would be, or to ciphers no client offers.
class OpensslServer
{
public:
    explicit OpensslServer(const QStringList& options)
    {
        const TestCertificates& pki = TestCertificates::get();
        port = Ser2net::freePort();
        m_process.start("openssl",
                        QStringList{"s_server", "-accept", QStringLiteral("127.0.0.1:%1").arg(port),
                                    "-cert", pki.serverCert(), "-key", pki.serverKey()}
                            << options);
        while (m_process.waitForReadyRead(10000) && !m_process.readAll().contains("ACCEPT")) {
        }
    }
    ~OpensslServer()
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
    OtherName,
    AddressAsCommonName,
    AddressAsDnsName,
    ManyNames,
    Hostile,
    Expired,
    DemandsClientCertificate,
    Plain,
    OldTls,
    NoSharedCipher,
    Tls12DemandsClientCertificate,
};

QStringList opensslOptions(Server server)
{
    const std::map<Server, QStringList> options{
        {Server::OldTls, {"-tls1_1", "-cipher", "DEFAULT@SECLEVEL=0"}},
        {Server::NoSharedCipher, {"-tls1_2", "-cipher", "NULL@SECLEVEL=0"}},
        {Server::Tls12DemandsClientCertificate,
         {"-tls1_2", "-Verify", "1", "-CAfile", TestCertificates::get().ca()}}};
    return options.contains(server) ? options.at(server) : QStringList();
}

QString certificateOf(Server server)
{
    const TestCertificates& pki = TestCertificates::get();
    const std::map<Server, QString> certificates{
        {Server::WrongName, pki.wrongNameCert()},
        {Server::OtherName, pki.otherNameCert()},
        {Server::AddressAsCommonName, pki.addressAsCommonNameCert()},
        {Server::AddressAsDnsName, pki.addressAsDnsNameCert()},
        {Server::ManyNames, pki.manyNamesCert()},
        {Server::Hostile, pki.hostileCert()},
        {Server::Expired, pki.expiredCert()}};
    const auto found = certificates.find(server);
    return found == certificates.end() ? pki.serverCert() : found->second;
}

// One line, nothing a terminal would act on, and of a length to read.
void expectOneSaneLine(const QByteArray& error)
{
    const QByteArray line = error.chopped(error.endsWith('\n') ? 1 : 0);
    EXPECT_LT(line.size(), 1024);
    EXPECT_FALSE(std::ranges::any_of(line, [](char c) { return uchar(c) < 0x20 || c == 0x7f; }))
        << line.toStdString();
}

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
        bool byName = false; // localhost instead of 127.0.0.1
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
        {"a name only as the common name beside a DNS name",
         Server::OtherName,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "made out to other.example, not to localhost. Its common name does not count",
         QM240LX_CLI_PATH,
         true},
        {"an address only as the common name",
         Server::AddressAsCommonName,
         true,
         {"--tls-ca", pki.ca()},
         74,
         "made out to 127.0.0.1, not to 127.0.0.1. An address counts only among the "
         "certificate's IP addresses, not as its common name."},
        {"an address as a DNS name",
         Server::AddressAsDnsName,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "not among its DNS names."},
        {"3000 names",
         Server::ManyNames,
         false,
         {"--tls-ca", pki.ca()},
         74,
         " more, not to 127.0.0.1."},
        {"control characters in the issuer",
         Server::Hostile,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "issued by \\x1b[2J\\x1b]0;pwned\\x07\\x0d\\x0aqm240lx: forged, who"},
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
        {"no cipher in common",
         Server::NoSharedCipher,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "broke off the TLS handshake at its greeting (alert \"handshake failure\"): it shares "
         "no cipher suite or TLS version (1.2 or later) with this tool."},
        {"TLS 1.2 demanding a client certificate",
         Server::Tls12DemandsClientCertificate,
         false,
         {"--tls-ca", pki.ca()},
         74,
         "after this tool answered without a client certificate: it probably demands one"},
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
        std::optional<OpensslServer> opensslServer;
        QString address;
        if (!opensslOptions(c.server).isEmpty()) {
            opensslServer.emplace(opensslOptions(c.server));
            address = QStringLiteral("tcp+tls://127.0.0.1:%1").arg(opensslServer->port);
        } else {
            const QString cert = certificateOf(c.server);
            const QString clientCa =
                c.server == Server::DemandsClientCertificate ? pki.ca() : QString();
            served.emplace(c.server == Server::Plain ? std::nullopt
                                                     : std::optional(serving(cert, clientCa)));
            address = c.rfc2217 ? served->server.rfc2217Address() : served->server.tcpAddress();
            address.replace("rfc2217://", "rfc2217+tls://").replace("tcp://", "tcp+tls://");
        }
        if (c.byName)
            address.replace("127.0.0.1", "localhost");
        const CliProcess run = CliProcess::run(
            QStringList{"--port", address} << c.files << "detect", {}, {}, c.program);
        expectEnd(run, c.exitCode, c.mentions);
        expectOneSaneLine(run.err);
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

// A FIFO would wait for a writer, a device would be read without end: only
// regular files of at most 4 MiB are read, and anything else ends the tool at
// once, before any port is opened.
TEST(TlsPorts, FilesThatAreNoRegularFilesAreRefusedBeforeAnyRead)
{
    const TestCertificates& pki = TestCertificates::get();
    QTemporaryDir dir;
    const QString fifo = dir.filePath("ca.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir.filePath("huge.crt");
    QFile hugeFile(huge);
    ASSERT_TRUE(hugeFile.open(QIODevice::WriteOnly) && hugeFile.resize(4 * 1024 * 1024 + 1));
    const QStringList clientFiles{"--tls-cert", pki.clientCert(), "--tls-key"};
    const struct
    {
        const char* name;
        QStringList arguments;
        QString mentions;
        QMap<QString, QString> variables = {};
        const char* program = QM240LX_CLI_PATH;
    } cases[] = {
        {"a FIFO as the CA file", {"--tls-ca", fifo}, "The TLS CA file " + fifo + " is a FIFO"},
        {"a FIFO from the environment",
         {},
         "The TLS certificate " + fifo + " is a FIFO, not a regular file.",
         {{"QM240LX_TLS_CERT", fifo}, {"QM240LX_TLS_KEY", pki.clientKey()}}},
        {"a FIFO as the key, the window",
         clientFiles + QStringList{fifo},
         "The TLS key " + fifo + " is a FIFO",
         {},
         QM240LX_SETUP_PATH},
        {"an endless device as the CA file",
         {"--tls-ca", "/dev/zero"},
         "The TLS CA file /dev/zero is a character device, not a regular file."},
        {"a CA file beyond the bound", {"--tls-ca", huge}, "is larger than 4 MiB."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliProcess run = CliProcess::run(QStringList{"--port", "tcp+tls://127.0.0.1:9"}
                                                   << c.arguments << "detect",
                                               {}, {}, c.program, c.variables);
        expectEnd(run, 78, c.mentions);
    }
}

} // namespace
} // namespace qm240lx
