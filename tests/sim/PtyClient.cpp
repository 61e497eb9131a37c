#include "PtyClient.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>

namespace qm240lx::test {

namespace {

// One poll for input; the events it saw, 0 on timeout.
short pollInput(int fd, const QDeadlineTimer& deadline)
{
    pollfd watched{fd, POLLIN, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(deadline.remainingTime()));
    return ready > 0 ? watched.revents : 0;
}

} // namespace

PtyClient::PtyClient(const QString& devicePath)
    : fd_(::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{}

void PtyClient::clearInput()
{
    ::tcflush(fd_.get(), TCIFLUSH);
}

bool PtyClient::write(const QByteArray& bytes)
{
    return ::write(fd_.get(), bytes.constData(), static_cast<std::size_t>(bytes.size())) ==
           bytes.size();
}

QByteArray PtyClient::read(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        const short events = pollInput(fd_.get(), deadline);
        if (!(events & POLLIN))
            break;
        std::array<char, 256> buffer{};
        const auto wanted = std::min<qsizetype>(count - bytes.size(), buffer.size());
        const ssize_t got = ::read(fd_.get(), buffer.data(), static_cast<std::size_t>(wanted));
        if (got <= 0)
            break;
        bytes.append(buffer.data(), got);
    }
    return bytes;
}

bool PtyClient::waitForHangup(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const short events = pollInput(fd_.get(), deadline);
        if (events & (POLLHUP | POLLERR))
            return true;
        if (events & POLLNVAL)
            return false;
        if (!(events & POLLIN))
            continue;
        std::array<char, 256> buffer{};
        const ssize_t got = ::read(fd_.get(), buffer.data(), buffer.size());
        if (got == 0 || (got < 0 && errno == EIO))
            return true;
    }
    return false;
}

} // namespace qm240lx::test
