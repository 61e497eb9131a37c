#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace qm240lx {

class TlsAlerts;

// One sentence for why TLS with a server failed, naming its address
// (`where`) and never a key. Whatever the server chose (names, issuer) is
// printed escaped and bounded, on the one line.
class TlsFailure
{
public:
    // The server's certificate failed verification: not trusted (by whom it
    // was issued), expired or not yet valid (the date), or not made out to
    // `host` (the names it holds).
    static QString certificate(const QString& where, const QString& host,
                               const QList<QSslError>& errors);

    // The certificate passed verification but is not made out to `host`.
    static QString wrongName(const QString& where, const QString& host,
                             const QSslCertificate& certificate);

    // A handshake the server broke off with an alert, or one that failed on
    // this side for OpenSSL's `reason` (an answer that is no TLS, a TLS
    // version older than 1.2); with TLS 1.3 a refused client certificate
    // comes after the handshake, as the reason the connection was lost.
    static QString handshake(const QString& where, const TlsAlerts& alerts, const QString& reason,
                             bool certificateGiven);

    // The server closed the connection after the handshake before it sent a
    // byte: what a server that checks client certificates only then does
    // (ser2net with TLS 1.3) when it refuses the certificate, or finds none;
    // a server that ends then for another reason looks the same.
    static QString closedAfterHandshake(const QString& where, bool certificateGiven);

    // Whether the server sent an alert, or `reason` is a TLS failure of this
    // side, rather than a lost connection.
    static bool isTlsFailure(const TlsAlerts& alerts, const QString& reason);

    // The server's first answer was no TLS, or it never finished.
    static QString notTls(const QString& where);
};

} // namespace qm240lx
