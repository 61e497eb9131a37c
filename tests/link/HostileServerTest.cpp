// Network ports against a server that never stops sending: endless option
// negotiations, a subnegotiation without end, data faster than it is read,
// plain or inside TLS; and a TLS server that never finishes its handshake.
// The opening ends by its deadline, on a clock the test moves, and no more
// than the receive buffer is ever held.
#include "link/PortMaker.h"
#include "link/Rfc2217Layer.h"
#include "support/ManualClock.h"
#include "support/TestCertificates.h"
#include "tls/TlsCredentials.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QByteArray>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

QByteArray h(const char* hex)
{
    return QByteArray::fromHex(hex);
}

// Accepts one client, sends `opening`, then `repeated` over and over until
// the client goes or `budget` bytes are out.
class FloodingServer
{
public:
    static constexpr qint64 budget = 64 * 1024 * 1024;

    FloodingServer(QByteArray opening, QByteArray repeated)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listener, 1);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        m_thread = std::thread([this, opening, repeated] { serve(opening, repeated); });
    }
    ~FloodingServer()
    {
        ::shutdown(m_listener, SHUT_RDWR); // ends an accept() still waiting
        m_thread.join();
        ::close(m_listener);
    }

    std::uint16_t port = 0;
    std::atomic<qint64> sent = 0;

private:
    void serve(const QByteArray& opening, const QByteArray& repeated)
    {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        ::send(client, opening.constData(), opening.size(), MSG_NOSIGNAL);
        while (sent < budget) {
            const ssize_t n = ::send(client, repeated.constData(), repeated.size(), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        ::close(client);
    }

    int m_listener = -1;
    std::thread m_thread;
};

struct Flood
{
    const char* name;
    QByteArray opening;
    QByteArray repeated;
    bool opens;
    bool keepsData; // the flood is serial data, which fills the receive buffer
};

const QByteArray agreed = h("fffd00fffb00fffd2c");
constexpr qint64 swallowed = 256 * 1024;
constexpr int mostPasses = 20000;

const Flood floods[] = {
    {"endless negotiations, never COM-PORT-OPTION", {}, h("fffb01fffd03fffe05"), false, false},
    {"endless option requests after agreeing", agreed, h("fffd05fffb07"), true, false},
    {"a subnegotiation without end", agreed + h("fffa2c"), QByteArray(4096, 'x'), true, false},
    {"data faster than it is read", agreed, QByteArray(4096, 'A'), true, true},
};

// Until the buffer has been full of data for a while, or a good deal of
// anything else has been taken in and thrown away.
bool floodTakenIn(const Flood& flood, qint64 sent, int pass, int most)
{
    return flood.keepsData ? most >= Rfc2217Layer::receiveBufferSize && pass >= 100
                           : sent >= swallowed;
}

// The opening of `port`, its deadline passing once `expireWhen` holds.
bool openOnTheClock(Port& port, test::ManualClock& clock, const std::function<bool()>& expireWhen)
{
    Task<bool> opening = port.open();
    static_cast<void>(QTest::qWaitFor([&] { return opening.done() || expireWhen(); }, 20000));
    if (!opening.done())
        clock.advance(PortStack::openLimitMs + 1);
    static_cast<void>(QTest::qWaitFor([&] { return opening.done(); }, 20000));
    return opening.done() && opening.result();
}

// Opens `comm` on a flooding server, then reads while the flood goes on.
void expectFloodWithstood(Port& comm, test::ManualClock& clock, const Flood& flood,
                          const std::function<qint64()>& sent)
{
    const bool opened =
        openOnTheClock(comm, clock, [&] { return !flood.opens && sent() >= swallowed; });
    ASSERT_EQ(opened, flood.opens) << comm.failure().message.toStdString();
    if (!flood.opens) {
        EXPECT_TRUE(comm.failure().message.contains("did not take up RFC 2217"));
        EXPECT_EQ(comm.failure().kind, PortError::Kind::TimedOut);
        return;
    }
    int most = 0;
    int pass = 0;
    for (; pass < mostPasses && !floodTakenIn(flood, sent(), pass, most); ++pass) {
        QTest::qWait(1);
        const std::optional<int> held = comm.waiting();
        ASSERT_TRUE(held) << comm.failure().message.toStdString();
        most = std::max(most, *held);
    }
    EXPECT_TRUE(floodTakenIn(flood, sent(), pass, most))
        << "held at most " << most << ", the server sent " << sent();
    EXPECT_LE(most, Rfc2217Layer::receiveBufferSize);
    EXPECT_TRUE(flood.keepsData || most == 0) << most;
    comm.discard(); // returns although the flood goes on
}

std::unique_ptr<Port> portAt(const QString& scheme, std::uint16_t port, test::ManualClock& clock,
                             PortOptions options = {})
{
    return PortMaker(std::move(options), clock, clock.tick())
        .make(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port), {});
}

TEST(HostileServer, NeitherHangsTheOpeningNorGrowsWhatIsHeld)
{
    for (const Flood& flood : floods) {
        SCOPED_TRACE(flood.name);
        FloodingServer server(flood.opening, flood.repeated);
        test::ManualClock clock;
        const auto comm = portAt("rfc2217", server.port, clock);
        expectFloodWithstood(*comm, clock, flood, [&server] { return server.sent.load(); });
    }
}

// A TLS server on the test's own event loop with the tests' server
// certificate: after each handshake, it sends `repeated` for as long as the
// client takes it in, up to the flood's budget.
class TlsFloodingServer
{
public:
    explicit TlsFloodingServer(QByteArray repeated) : m_repeated(std::move(repeated))
    {
        m_server.setSslConfiguration(test::TestCertificates::get().serverConfiguration());
        m_server.listen(QHostAddress::LocalHost);
        port = m_server.serverPort();
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable, &m_server, [this] {
            auto* client = qobject_cast<QSslSocket*>(m_server.nextPendingConnection());
            QObject::connect(client, &QSslSocket::encryptedBytesWritten,
                             [this, client] { send(client); });
            send(client);
        });
    }

    std::uint16_t port = 0;
    qint64 sent = 0;

private:
    void send(QTcpSocket* client)
    {
        while (client->bytesToWrite() < 65536 && sent < FloodingServer::budget)
            sent += client->write(m_repeated);
    }

    QSslServer m_server;
    QByteArray m_repeated;
};

// The client trusts the tests' CA: a flood inside TLS is no certificate failure.
PortOptions trustingTestCa()
{
    const auto loaded = TlsCredentials::load({test::TestCertificates::get().ca(), {}, {}});
    EXPECT_TRUE(std::holds_alternative<QSslConfiguration>(loaded));
    PortOptions options;
    options.tls = std::get<QSslConfiguration>(loaded);
    return options;
}

TEST(HostileServer, InsideTlsNeitherHangsTheOpeningNorGrowsWhatIsHeld)
{
    const struct
    {
        const char* scheme;
        const Flood& flood;
    } cases[] = {{"rfc2217+tls", floods[0]}, {"tcp+tls", floods[3]}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flood.name);
        TlsFloodingServer server(c.flood.repeated);
        test::ManualClock clock;
        const auto comm = portAt(c.scheme, server.port, clock, trustingTestCa());
        expectFloodWithstood(*comm, clock, c.flood, [&server] { return server.sent; });
    }
}

// It takes the connection and the client's greeting, and never answers.
TEST(HostileServer, ATlsHandshakeThatNeverEndsEndsTheOpeningByItsDeadline)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    test::ManualClock clock;
    const auto comm = portAt("rfc2217+tls", server.serverPort(), clock, trustingTestCa());
    QTcpSocket* client = nullptr;
    const bool opened = openOnTheClock(*comm, clock, [&] {
        if (!client && server.hasPendingConnections())
            client = server.nextPendingConnection();
        return client && client->bytesAvailable() > 0; // the client's greeting
    });
    EXPECT_FALSE(opened);
    EXPECT_TRUE(
        comm->failure().message.contains("did not finish the TLS handshake within 3 seconds"))
        << comm->failure().message.toStdString();
    EXPECT_EQ(comm->failure().kind, PortError::Kind::TimedOut);
}

} // namespace
} // namespace qm240lx
