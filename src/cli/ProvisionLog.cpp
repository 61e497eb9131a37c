#include "cli/ProvisionLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>

namespace qm240lx {
namespace {

CliExit cannotWrite(const QString& path, int error)
{
    return {ExitCode::CannotCreate, QStringLiteral("%1: cannot write the log: %2")
                                        .arg(path, QString::fromLocal8Bit(std::strerror(error)))};
}

bool writeWhole(int fd, const QByteArray& bytes)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t now = ::write(fd, bytes.constData() + written,
                                    static_cast<std::size_t>(bytes.size() - written));
        if (now < 0 && errno == EINTR)
            continue;
        if (now <= 0)
            return false;
        written += now;
    }
    return true;
}

// True when the file is empty or its last byte ends a line.
bool endsALine(int fd, off_t size)
{
    char last = '\n';
    return size == 0 || (::pread(fd, &last, 1, size - 1) == 1 && last == '\n');
}

} // namespace

std::variant<ProvisionLog, CliExit> ProvisionLog::open(const QString& path)
{
    // Not blocking, so that a FIFO named as the log cannot hang the start.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return cannotWrite(path, errno);
    ProvisionLog log(fd, path);
    struct stat status = {};
    if (::fstat(fd, &status) != 0)
        return cannotWrite(path, errno);
    if (!S_ISREG(status.st_mode))
        return CliExit{ExitCode::CannotCreate,
                       QStringLiteral("%1: cannot write the log: not a regular file").arg(path)};
    if (!endsALine(fd, status.st_size) && (!writeWhole(fd, "\n") || ::fdatasync(fd) != 0))
        return cannotWrite(path, errno);
    return log;
}

ProvisionLog::ProvisionLog(ProvisionLog&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{}

ProvisionLog::~ProvisionLog()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<CliExit> ProvisionLog::append(const QJsonObject& record)
{
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    if (!writeWhole(m_fd, line) || ::fdatasync(m_fd) != 0)
        return cannotWrite(m_path, errno);
    return std::nullopt;
}

} // namespace qm240lx
