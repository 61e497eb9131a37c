#include "PtyClient.h"

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>

namespace qm240lx::test {

PtyClient::PtyClient(const QString& devicePath)
    : m_fd(::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{}

void PtyClient::clearInput()
{
    ::tcflush(m_fd.get(), TCIFLUSH);
}

bool PtyClient::write(const QByteArray& bytes)
{
    return ::write(m_fd.get(), bytes.constData(), static_cast<std::size_t>(bytes.size())) ==
           bytes.size();
}

QByteArray PtyClient::read(qsizetype count, int timeoutMs)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(timeoutMs);
    pollfd watched{m_fd.get(), POLLIN, 0};
    while (bytes.size() < count &&
           ::poll(&watched, 1, static_cast<int>(deadline.remainingTime())) > 0) {
        std::array<char, 256> buffer{};
        const auto wanted = std::min<qsizetype>(count - bytes.size(), buffer.size());
        const ssize_t got = ::read(m_fd.get(), buffer.data(), static_cast<std::size_t>(wanted));
        if (got <= 0)
            break;
        bytes.append(buffer.data(), got);
    }
    return bytes;
}

} // namespace qm240lx::test
