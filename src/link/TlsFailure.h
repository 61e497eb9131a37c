#pragma once

#include <QList>
#include <QSslError>
#include <QString>

namespace qm240lx {

// One sentence for why TLS with a server failed, naming its address
// (`where`) and never a key.
class TlsFailure
{
public:
    // The server's certificate failed verification: not trusted (by whom it
    // was issued), expired or not yet valid (the date), or not made out to
    // `host` (the names it holds).
    static QString certificate(const QString& where, const QString& host,
                               const QList<QSslError>& errors);

    // OpenSSL's `reason` for a handshake the server broke off or that was no
    // TLS; with TLS 1.3 a refused client certificate comes after the
    // handshake, as the reason the connection was lost.
    static QString handshake(const QString& where, const QString& reason, bool certificateGiven);

    // The server closed the connection after the handshake before it sent a
    // byte: what a server that checks client certificates only then does
    // (ser2net with TLS 1.3) when it refuses the certificate, or finds none;
    // a server that ends then for another reason looks the same.
    static QString closedAfterHandshake(const QString& where, bool certificateGiven);

    // Whether `reason` is a TLS alert or a record that is no TLS at all.
    static bool isTlsReason(const QString& reason);

    // The server's first answer was no TLS, or it never finished.
    static QString notTls(const QString& where);
};

} // namespace qm240lx
