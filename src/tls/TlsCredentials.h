#pragma once

#include "failure/PortError.h"
#include "tls/TlsFiles.h"

#include <optional>
#include <variant>

#include <QSslConfiguration>

namespace qm240lx {

// The TLS configuration a TLS port opens with: the server verified against
// the system's trusted certificates or the CA file alone, and the client's
// certificate and key when both are named (the TLS layer adds TLS 1.2 or
// later and the verification of the server). Everything is read and checked before any
// port is opened: a key its group or others can read, or one behind a passphrase (never asked for),
// is refused as KeyRefused; a file that cannot be read or parsed, a key without its certificate or
// one that does not belong to it, as BadTlsFile.
class TlsCredentials
{
public:
    // The most a CA bundle, certificate or key file may hold: a bundle of
    // every public authority takes a quarter of a MiB. Anything but a regular
    // file is refused as BadTlsFile before it is opened.
    static constexpr qint64 fileLimit = 4 * 1024 * 1024;

    // The checks alone, without Qt's TLS, which needs the application object.
    static std::optional<PortError> check(const TlsFiles& files);

    static std::variant<QSslConfiguration, PortError> load(const TlsFiles& files);
};

} // namespace qm240lx
