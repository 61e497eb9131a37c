// Each stack of layers against a server that closes the connection while the
// port is open: the port says at once that it is lost, never that it waits
// for more.
#include "link/PortMaker.h"
#include "support/Finish.h"
#include "support/ManualClock.h"
#include "support/TestCertificates.h"
#include "tls/TlsCredentials.h"

#include <memory>
#include <optional>

#include <QSslServer>
#include <QTest>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// Accepts one client, TLS with the tests' server certificate when asked,
// agrees to COM-PORT-OPTION for RFC 2217, and sends or closes when told.
class ClosingServer
{
public:
    ClosingServer(bool tls, bool rfc2217)
        : m_server(tls ? std::make_unique<QSslServer>() : std::make_unique<QTcpServer>())
    {
        if (tls)
            static_cast<QSslServer&>(*m_server).setSslConfiguration(
                test::TestCertificates::get().serverConfiguration());
        // A TLS server's connections are pending once their handshake is done.
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, m_server.get(),
                         [this, rfc2217] {
                             m_client = m_server->nextPendingConnection();
                             if (rfc2217)
                                 m_client->write(QByteArray::fromHex("fffd00fffb00fffd2c"));
                         });
        m_server->listen(QHostAddress::LocalHost);
    }
    std::uint16_t port() const { return m_server->serverPort(); }
    bool accepted() const { return m_client != nullptr; }
    void send(const QByteArray& bytes) { m_client->write(bytes); }
    void close() { m_client->disconnectFromHost(); }

private:
    std::unique_ptr<QTcpServer> m_server;
    QTcpSocket* m_client = nullptr;
};

PortOptions trustingTestCa()
{
    const auto loaded = TlsCredentials::load({test::TestCertificates::get().ca(), {}, {}});
    PortOptions options;
    options.tls = std::get<QSslConfiguration>(loaded);
    return options;
}

TEST(PortStack, AServerThatClosesMakesAnOpenPortLostInEveryStack)
{
    for (const char* scheme : {"tcp", "rfc2217", "tcp+tls", "rfc2217+tls"}) {
        SCOPED_TRACE(scheme);
        const QString words = QString::fromLatin1(scheme);
        ClosingServer server(words.endsWith("+tls"), words.startsWith("rfc2217"));
        test::ManualClock clock;
        const QString address = QStringLiteral("%1://127.0.0.1:%2").arg(words).arg(server.port());
        const std::unique_ptr<Port> port =
            PortMaker(trustingTestCa(), clock, clock.tick()).make(address, {});
        int news = 0;
        port->setNewsHandler([&news] { ++news; });
        ASSERT_TRUE(test::finish(port->open())) << port->failure().message.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.accepted(); }, 10000));
        server.send("x"); // not quiet since the handshake: a close now is a loss
        ASSERT_TRUE(QTest::qWaitFor([&] { return port->waiting() == 1; }, 10000));
        ASSERT_EQ(port->take(1), "x");

        news = 0;
        server.close();
        EXPECT_TRUE(QTest::qWaitFor([&] { return news > 0 && !port->waiting(); }, 10000))
            << news << " news, and the lost port counts " << port->waiting().value_or(-1)
            << " bytes as if silent";
        EXPECT_EQ(port->take(1), std::nullopt);
        EXPECT_FALSE(port->write("\xAC"));
        EXPECT_EQ(port->failure().kind, PortError::Kind::Lost);
        EXPECT_TRUE(
            port->failure().message.startsWith("The connection to " + address + " was lost"))
            << port->failure().message.toStdString();
    }
}

} // namespace
} // namespace qm240lx
