#pragma once

#include "cli/CliExit.h"

#include <optional>
#include <variant>

#include <QJsonObject>
#include <QString>

namespace qm240lx {

// The provisioning record: one JSON object a line, appended to a regular
// file. Each line goes out in one write and reaches the disk before append()
// returns, so a crash loses at most the adapter in hand; a half line left by
// an earlier crash is ended first, so that the next line stands on its own.
class ProvisionLog
{
public:
    // The log, or exit 73 naming the file when it cannot be opened for
    // appending or is not a regular file.
    static std::variant<ProvisionLog, CliExit> open(const QString& path);

    ProvisionLog(ProvisionLog&& other) noexcept;
    ProvisionLog& operator=(ProvisionLog&&) = delete;
    ProvisionLog(const ProvisionLog&) = delete;
    ProvisionLog& operator=(const ProvisionLog&) = delete;
    ~ProvisionLog();

    // The failure, naming the file, when the line could not be written whole.
    std::optional<CliExit> append(const QJsonObject& record);

private:
    ProvisionLog(int fd, QString path) : m_fd(fd), m_path(std::move(path)) {}
    CliExit failure(int error) const;

    int m_fd = -1;
    QString m_path;
};

} // namespace qm240lx
