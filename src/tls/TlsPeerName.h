#pragma once

#include <QSslCertificate>
#include <QString>

namespace qm240lx {

// Whether a server's certificate is made out to the host a port names, as
// RFC 6125 and RFC 2818 have a careful client decide: a name is matched
// against the certificate's DNS names (a wildcard standing for one whole
// label), and against its common name only when it holds no DNS names; an
// IP address is matched only against its IP addresses.
class TlsPeerName
{
public:
    static bool matches(const QSslCertificate& certificate, const QString& host);

    // The names the certificate is made out to, printable and bounded: its
    // DNS names (its common name when it has none), then its IP addresses.
    static QString names(const QSslCertificate& certificate);

    // Why a name of the certificate that reads like `host` does not count,
    // or an empty string.
    static QString whyNotCounted(const QSslCertificate& certificate, const QString& host);
};

} // namespace qm240lx
