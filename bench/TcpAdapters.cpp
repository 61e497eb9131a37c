// Many adapters behind raw TCP ports in one small process, for the benchmark
// of `qm240lx apply` across thousands of network ports. It plays the far end
// and so shares nothing with the product: each connection answers the probe
// and the save with 0xFA, the read with its three configuration bytes, and
// stores the byte after a set opcode before it acknowledges.
//
// It runs on epoll directly rather than on an event loop that hands the
// kernel every socket on every turn: at 10,000 ports such a loop would cost
// more than the tool it measures. Each ready socket costs O(1).
//
// Usage: tcp_adapters COUNT. Raises its open-file limit to the hard one and
// listens on as many of COUNT free loopback ports as that allows with two
// descriptors an adapter (listener and connection); prints those ports, one a
// line, then "ready", and serves until its standard input ends or it is killed.
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr char ready = char(0xFA);
// The standard streams, the epoll descriptor, and some to spare.
constexpr rlim_t reservedFiles = 64;
// Read at a time from one connection. Each byte asks for at most three in
// answer, and nothing more is read from a connection until its answers are
// taken: that bounds what is held for a peer that sends and never reads.
constexpr size_t readChunk = 512;
constexpr int listenBacklog = 16;

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

void answer(const char* received, size_t size, AdapterState& state, std::string& replies)
{
    for (size_t index = 0; index < size; ++index) {
        const char byte = received[index];
        const auto value = static_cast<std::uint8_t>(byte);
        if (state.pendingSet) {
            state.bytes[*byteIndexOf(*state.pendingSet)] = byte;
            state.pendingSet.reset();
            replies += ready;
        } else if (byteIndexOf(value)) {
            state.pendingSet = value;
        } else if (value == 0xAC || value == 0xAF) {
            replies += ready;
        } else if (value == 0xAD) {
            replies.append(state.bytes.data(), state.bytes.size());
        }
    }
}

rlim_t raiseOpenFileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

int adaptersThatFit(int wanted, rlim_t openFiles)
{
    if (openFiles == RLIM_INFINITY)
        return wanted;
    const rlim_t room = openFiles > reservedFiles ? (openFiles - reservedFiles) / 2 : 0;
    return room < rlim_t(wanted) ? int(room) : wanted;
}

// The ports to listen on, from 10000 up and then from 1024, outside the
// range the kernel draws the local ports of connections from. bind() to port
// 0 draws from that same range, which the tool's 10,000 connections and the
// remnants of earlier runs (in TIME_WAIT for a minute) can use up.
class ListenPorts
{
public:
    ListenPorts()
    {
        if (FILE* file = std::fopen("/proc/sys/net/ipv4/ip_local_port_range", "r")) {
            if (std::fscanf(file, "%d %d", &m_ephemeralLow, &m_ephemeralHigh) != 2)
                m_ephemeralLow = m_ephemeralHigh = 0;
            std::fclose(file);
        }
    }

    // Empty once every port has been offered.
    std::optional<int> next()
    {
        while (m_left > 0) {
            --m_left;
            const int port = m_port;
            m_port = port == lastPort ? firstPort : port + 1;
            if (port < m_ephemeralLow || port > m_ephemeralHigh)
                return port;
        }
        return std::nullopt;
    }

private:
    static constexpr int firstPort = 1024;
    static constexpr int lastPort = 65535;
    int m_ephemeralLow = 32768; // Linux's defaults, for a kernel that does not say
    int m_ephemeralHigh = 60999;
    int m_port = 10000;
    int m_left = lastPort - firstPort + 1;
};

// What an epoll event is about: kind in the upper half, index in the lower.
enum class Kind : std::uint64_t
{
    Input,
    Listener,
    Connection
};

std::uint64_t tag(Kind kind, std::uint32_t index)
{
    return (std::uint64_t(kind) << 32) | index;
}

struct Connection
{
    int fd = -1;
    std::uint32_t adapter = 0;
    std::string unsent; // answers the peer has not taken yet
};

// The adapters, their listeners and connections, all on one epoll set. Each
// adapter keeps its configuration across connections, as a real one keeps it
// across sessions, and takes any number of connections at once.
class Adapters
{
public:
    explicit Adapters(int count) : m_states(size_t(count)) {}

    ~Adapters()
    {
        for (const Connection& connection : m_connections) {
            if (connection.fd >= 0)
                close(connection.fd);
        }
        for (const int listener : m_listeners)
            close(listener);
        if (m_epoll >= 0)
            close(m_epoll);
    }
    Adapters(const Adapters&) = delete;
    Adapters& operator=(const Adapters&) = delete;

    // Listens on a loopback port for every adapter and prints the ports.
    bool listen()
    {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        if (m_epoll < 0) {
            std::perror("epoll_create1");
            return false;
        }
        for (std::uint32_t index = 0; index < m_states.size(); ++index) {
            const std::optional<int> port = listenOn(index);
            if (!port)
                return false;
            std::printf("%d\n", *port);
        }
        // A standard input that cannot be watched (a file, /dev/null) just
        // leaves the end to a signal.
        watch(STDIN_FILENO, EPOLLIN, tag(Kind::Input, 0));
        return true;
    }

    void serve()
    {
        std::array<epoll_event, 256> events{};
        for (;;) {
            const int count = epoll_wait(m_epoll, events.data(), int(events.size()), -1);
            if (count < 0 && errno != EINTR)
                return;
            for (int index = 0; index < count; ++index) {
                if (!dispatch(events[size_t(index)].data.u64))
                    return;
            }
        }
    }

private:
    bool watch(int fd, std::uint32_t events, std::uint64_t tag)
    {
        epoll_event event{};
        event.events = events;
        event.data.u64 = tag;
        return epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) == 0;
    }

    void rewatch(int fd, std::uint32_t events, std::uint64_t tag)
    {
        epoll_event event{};
        event.events = events;
        event.data.u64 = tag;
        epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
    }

    std::optional<int> listenOn(std::uint32_t adapter)
    {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            std::perror("socket");
            return std::nullopt;
        }
        m_listeners.push_back(fd);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const std::optional<int> port = bindFreePort(fd);
        if (!port || ::listen(fd, listenBacklog) != 0 ||
            !watch(fd, EPOLLIN, tag(Kind::Listener, adapter))) {
            std::perror("listen on a loopback port");
            return std::nullopt;
        }
        return port;
    }

    std::optional<int> bindFreePort(int fd)
    {
        while (const std::optional<int> port = m_ports.next()) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(std::uint16_t(*port));
            if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
                return port;
            if (errno != EADDRINUSE && errno != EACCES)
                return std::nullopt;
        }
        errno = EADDRINUSE;
        return std::nullopt;
    }

    // False when the standard input has ended.
    bool dispatch(std::uint64_t what)
    {
        const auto index = std::uint32_t(what);
        switch (Kind(what >> 32)) {
        case Kind::Input:
            return inputGoesOn();
        case Kind::Listener:
            accept(index);
            return true;
        case Kind::Connection:
            serveConnection(index);
            return true;
        }
        return true;
    }

    static bool inputGoesOn()
    {
        std::array<char, 256> ignored{};
        const ssize_t got = read(STDIN_FILENO, ignored.data(), ignored.size());
        return got > 0 || (got < 0 && (errno == EINTR || errno == EAGAIN));
    }

    void accept(std::uint32_t adapter)
    {
        const int listener = m_listeners[adapter];
        for (;;) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                addConnection(fd, adapter);
            } else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors: stop hearing this listener until a
                // connection ends, rather than hearing it again at once.
                rewatch(listener, 0, tag(Kind::Listener, adapter));
                m_paused.push_back(adapter);
                return;
            } else if (errno != ECONNABORTED && errno != EINTR) {
                return;
            }
        }
    }

    void addConnection(int fd, std::uint32_t adapter)
    {
        std::uint32_t slot = std::uint32_t(m_connections.size());
        if (m_freeSlots.empty()) {
            m_connections.emplace_back();
        } else {
            slot = m_freeSlots.back();
            m_freeSlots.pop_back();
        }
        m_connections[slot].fd = fd;
        m_connections[slot].adapter = adapter;
        if (!watch(fd, EPOLLIN, tag(Kind::Connection, slot)))
            drop(slot);
    }

    void serveConnection(std::uint32_t slot)
    {
        Connection& connection = m_connections[slot];
        if (connection.fd < 0)
            return;
        if (connection.unsent.empty()) {
            std::array<char, readChunk> received{};
            const ssize_t got = read(connection.fd, received.data(), received.size());
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                return;
            if (got <= 0)
                return drop(slot);
            answer(received.data(), size_t(got), m_states[connection.adapter], connection.unsent);
        }
        if (!flush(connection))
            return drop(slot);
        // Hear the peer again only once it has taken every answer.
        const std::uint32_t events = connection.unsent.empty() ? EPOLLIN : EPOLLOUT;
        rewatch(connection.fd, events, tag(Kind::Connection, slot));
    }

    // False when the connection has failed.
    static bool flush(Connection& connection)
    {
        if (connection.unsent.empty())
            return true;
        const ssize_t sent =
            send(connection.fd, connection.unsent.data(), connection.unsent.size(), MSG_NOSIGNAL);
        if (sent < 0)
            return errno == EAGAIN || errno == EINTR;
        connection.unsent.erase(0, size_t(sent));
        return true;
    }

    void drop(std::uint32_t slot)
    {
        Connection& connection = m_connections[slot];
        close(connection.fd);
        connection.fd = -1;
        std::string().swap(connection.unsent);
        m_freeSlots.push_back(slot);
        for (const std::uint32_t adapter : m_paused)
            rewatch(m_listeners[adapter], EPOLLIN, tag(Kind::Listener, adapter));
        m_paused.clear();
    }

    std::vector<AdapterState> m_states;
    std::vector<int> m_listeners; // by adapter
    std::vector<Connection> m_connections;
    std::vector<std::uint32_t> m_freeSlots;
    std::vector<std::uint32_t> m_paused; // listeners not heard until a connection ends
    ListenPorts m_ports;
    int m_epoll = -1;
};

} // namespace

int main(int argc, char** argv)
{
    const int wanted = argc > 1 ? std::atoi(argv[1]) : 1;
    if (wanted < 1) {
        std::fprintf(stderr, "usage: tcp_adapters COUNT (at least 1)\n");
        return 2;
    }
    const int count = adaptersThatFit(wanted, raiseOpenFileLimit());
    if (count < 1) {
        std::fprintf(stderr, "tcp_adapters: the open-file limit leaves no room for an adapter\n");
        return 1;
    }
    Adapters adapters(count);
    if (!adapters.listen())
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    adapters.serve();
    return 0;
}
