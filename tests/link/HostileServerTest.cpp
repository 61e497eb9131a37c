// QtTcpComm against a server that never stops sending: endless option
// negotiations, a subnegotiation without end, data faster than it is read.
// The opening ends by its deadline, and no more than the receive buffer is
// ever held.
#include "link/QtTcpComm.h"
#include "support/Finish.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <QByteArray>

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
bool floodTakenIn(const Flood& flood, const FloodingServer& server, int pass, int most)
{
    return flood.keepsData ? most >= QtTcpComm::receiveBufferSize && pass >= 100
                           : server.sent >= swallowed;
}

TEST(HostileServer, NeitherHangsTheOpeningNorGrowsWhatIsHeld)
{
    for (const Flood& flood : floods) {
        SCOPED_TRACE(flood.name);
        FloodingServer server(flood.opening, flood.repeated);
        QtTcpComm comm([&server](int) {
            return std::optional(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port));
        });
        ASSERT_EQ(test::finish(comm.open()), flood.opens) << comm.lastError().message.toStdString();
        if (!flood.opens) {
            EXPECT_TRUE(comm.lastError().message.contains("did not take up RFC 2217"));
            continue;
        }
        int most = 0;
        int pass = 0;
        for (; pass < mostPasses && !floodTakenIn(flood, server, pass, most); ++pass) {
            QTest::qWait(1);
            const std::optional<int> held = comm.inBufferCount();
            ASSERT_TRUE(held) << comm.lastError().message.toStdString();
            most = std::max(most, *held);
        }
        EXPECT_TRUE(floodTakenIn(flood, server, pass, most))
            << "held at most " << most << ", the server sent " << server.sent;
        EXPECT_LE(most, QtTcpComm::receiveBufferSize);
        EXPECT_TRUE(flood.keepsData || most == 0) << most;
        comm.discardInput(); // returns although the flood goes on
    }
}

} // namespace
} // namespace qm240lx
