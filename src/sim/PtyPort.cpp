#include "sim/PtyPort.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace qm240lx::sim {

namespace {

QString systemError(const QString& what, int code = errno)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(code)));
}

bool makeLineRaw(int slave)
{
    termios settings{};
    if (::tcgetattr(slave, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B9600);
    ::cfsetospeed(&settings, B9600);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    return ::tcsetattr(slave, TCSANOW, &settings) == 0;
}

bool addFlags(int fd, int statusFlags)
{
    const int status = ::fcntl(fd, F_GETFL);
    return status >= 0 && ::fcntl(fd, F_SETFL, status | statusFlags) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

std::optional<QString> symlinkTarget(const QString& path)
{
    std::array<char, 4096> target{};
    const ssize_t length = ::readlink(path.toLocal8Bit().constData(), target.data(), target.size());
    if (length < 0 || static_cast<std::size_t>(length) == target.size())
        return std::nullopt;
    return QString::fromLocal8Bit(target.data(), length);
}

} // namespace

std::optional<PtyPort> PtyPort::open(QString& error)
{
    int masterFd = -1;
    int slaveFd = -1;
    if (::openpty(&masterFd, &slaveFd, nullptr, nullptr, nullptr) != 0) {
        error = systemError(QStringLiteral("cannot open a pseudo-terminal"));
        return std::nullopt;
    }
    UniqueFd master(masterFd);
    UniqueFd slave(slaveFd);
    std::array<char, 256> name{};
    if (::ptsname_r(master.get(), name.data(), name.size()) != 0) {
        error = systemError(QStringLiteral("cannot name the pseudo-terminal"));
        return std::nullopt;
    }
    if (!makeLineRaw(slave.get()) || !addFlags(master.get(), O_NONBLOCK) ||
        !addFlags(slave.get(), 0)) {
        error = systemError(QStringLiteral("cannot set up the pseudo-terminal"));
        return std::nullopt;
    }
    return PtyPort(std::move(master), std::move(slave), QString::fromLocal8Bit(name.data()));
}

PtyPort::PtyPort(UniqueFd master, UniqueFd slave, QString slavePath)
    : m_master(std::move(master)), m_slave(std::move(slave)), m_slavePath(std::move(slavePath))
{}

PtyPort::PtyPort(PtyPort&& other) noexcept
    : m_master(std::move(other.m_master)), m_slave(std::move(other.m_slave)),
      m_slavePath(std::move(other.m_slavePath)), m_linkPath(std::exchange(other.m_linkPath, {}))
{}

PtyPort::~PtyPort()
{
    removeLink();
}

bool PtyPort::link(const QString& path, QString& error)
{
    const QByteArray linkName = path.toLocal8Bit();
    struct stat existing
    {
    };
    if (::lstat(linkName.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        error = QStringLiteral("%1 exists and is not a symbolic link").arg(path);
        return false;
    }
    // A fresh link renamed over the old one: the path never goes missing.
    const QByteArray fresh = linkName + ".new-" + QByteArray::number(::getpid());
    ::unlink(fresh.constData());
    if (::symlink(m_slavePath.toLocal8Bit().constData(), fresh.constData()) != 0 ||
        ::rename(fresh.constData(), linkName.constData()) != 0) {
        const int code = errno;
        error = systemError(QStringLiteral("cannot link %1").arg(path), code);
        ::unlink(fresh.constData());
        return false;
    }
    if (m_linkPath != path)
        removeLink();
    m_linkPath = path;
    return true;
}

void PtyPort::unplug()
{
    removeLink();
    m_slave.reset();
    m_master.reset();
}

// Only our own link goes: another emulator may have taken the path over since.
void PtyPort::removeLink()
{
    const std::optional<QString> path = std::exchange(m_linkPath, std::nullopt);
    if (path && symlinkTarget(*path) == m_slavePath)
        ::unlink(path->toLocal8Bit().constData());
}

} // namespace qm240lx::sim
