#pragma once

#include <algorithm>
#include <array>
#include <poll.h>
#include <unistd.h>

#include <QByteArray>

namespace qm240lx::test {

// Reads from `fd` until `count` bytes have come or none came for `waitMs`;
// two writes at the far end can arrive in two reads.
inline QByteArray readFd(int fd, qsizetype count, int waitMs = 5000)
{
    QByteArray received;
    pollfd readable{fd, POLLIN, 0};
    std::array<char, 64> chunk{};
    while (received.size() < count && ::poll(&readable, 1, waitMs) > 0) {
        const ssize_t n =
            ::read(fd, chunk.data(), std::min<qsizetype>(chunk.size(), count - received.size()));
        if (n <= 0)
            break;
        received.append(chunk.data(), n);
    }
    return received;
}

} // namespace qm240lx::test
