#include "tls/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace qm240lx {
namespace {

using Refusal = RegularFile::Refusal;

constexpr qint64 chunkSize = 64 * 1024;

class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

Refusal cannotRead(int error)
{
    return {Refusal::CannotRead, QString::fromLocal8Bit(std::strerror(error))};
}

QString typeOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no regular file");
}

std::optional<Refusal> refusedAsIs(const struct stat& status, qint64 limit)
{
    if (!S_ISREG(status.st_mode))
        return Refusal{Refusal::NotRegular, typeOf(status.st_mode)};
    if (status.st_size > limit)
        return Refusal{Refusal::TooLarge, {}};
    return std::nullopt;
}

// Up to one byte past `limit`, so that a file that grew is noticed; files
// that tell no size (those of /proc) are read the same way.
std::variant<QByteArray, Refusal> readUpTo(int fd, qint64 limit)
{
    QByteArray bytes;
    while (bytes.size() <= limit) {
        const qsizetype had = bytes.size();
        bytes.resize(had + chunkSize);
        const ssize_t got = ::read(fd, bytes.data() + had, chunkSize);
        if (got < 0 && errno == EINTR) {
            bytes.resize(had);
            continue;
        }
        if (got < 0)
            return cannotRead(errno);
        bytes.resize(had + got);
        if (got == 0)
            return bytes;
    }
    return Refusal{Refusal::TooLarge, {}};
}

} // namespace

std::variant<RegularFile::Contents, Refusal> RegularFile::read(const QString& path, qint64 limit)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status
    {
    };
    if (::stat(name.constData(), &status) != 0)
        return cannotRead(errno);
    if (std::optional<Refusal> refused = refusedAsIs(status, limit))
        return *refused;
    const Descriptor file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0)
        return cannotRead(errno);
    if (std::optional<Refusal> refused = refusedAsIs(status, limit))
        return *refused;
    auto bytes = readUpTo(file.get(), limit);
    if (const Refusal* refused = std::get_if<Refusal>(&bytes))
        return *refused;
    return Contents{std::get<QByteArray>(bytes), status.st_mode};
}

} // namespace qm240lx
