// Many adapters behind raw TCP ports in one small process, for the benchmark
// of `qm240lx apply` across a thousand network ports. It plays the far end
// and so shares nothing with the product: each connection answers the probe
// and the save with 0xFA, the read with its three configuration bytes, and
// stores the byte after a set opcode before it acknowledges.
//
// Usage: tcp_adapters COUNT. Prints the COUNT loopback ports it
// listens on, one a line, then "ready", and serves until it is killed.
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <vector>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

constexpr char ready = char(0xFA);

// H-Byte, D-Byte and P-Byte, and the set opcode whose value byte is awaited.
struct AdapterState
{
    std::array<char, 3> bytes{0x03, char(0x92), 0x00};
    std::optional<std::uint8_t> pendingSet;
};

std::optional<int> byteIndexOf(std::uint8_t setOpcode)
{
    switch (setOpcode) {
    case 0xAE:
        return 0;
    case 0xAA:
        return 1;
    case 0xAB:
        return 2;
    default:
        return std::nullopt;
    }
}

void answer(QTcpSocket& socket, AdapterState& state)
{
    const QByteArray received = socket.readAll();
    for (const char byte : received) {
        const auto value = static_cast<std::uint8_t>(byte);
        if (state.pendingSet) {
            state.bytes[*byteIndexOf(*state.pendingSet)] = byte;
            state.pendingSet.reset();
            socket.write(&ready, 1);
        } else if (byteIndexOf(value)) {
            state.pendingSet = value;
        } else if (value == 0xAC || value == 0xAF) {
            socket.write(&ready, 1);
        } else if (value == 0xAD) {
            socket.write(state.bytes.data(), state.bytes.size());
        }
    }
}

// Each adapter keeps its configuration across connections, as a real one
// keeps it across sessions.
void serve(QTcpServer& server, AdapterState& state)
{
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &state] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                             [socket, &state] { answer(*socket, state); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void raiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    raiseOpenFileLimit();
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1;
    std::vector<std::unique_ptr<QTcpServer>> servers;
    std::vector<AdapterState> states(static_cast<size_t>(count));
    for (int index = 0; index < count; ++index) {
        servers.push_back(std::make_unique<QTcpServer>());
        if (!servers.back()->listen(QHostAddress::LocalHost)) {
            std::fprintf(stderr, "listen: %s\n", qPrintable(servers.back()->errorString()));
            return 1;
        }
        serve(*servers.back(), states[static_cast<size_t>(index)]);
        std::printf("%u\n", servers.back()->serverPort());
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
