#include "link/PortOptions.h"

#include "tls/TlsCredentials.h"

#include <variant>

namespace qm240lx {

std::optional<PortError> loadTls(const TlsFiles& given, PortOptions& options)
{
    const TlsFiles files = given.withEnvironment(processEnvironment);
    if (files.isEmpty())
        return std::nullopt;
    const auto loaded = TlsCredentials::load(files);
    if (const PortError* error = std::get_if<PortError>(&loaded))
        return *error;
    options.tls = std::get<QSslConfiguration>(loaded);
    return std::nullopt;
}

} // namespace qm240lx
