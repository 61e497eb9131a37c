#pragma once

#include "failure/PortError.h"

#include <QByteArray>
#include <QList>
#include <QSsl>
#include <QSslError>
#include <QString>

namespace qm240lx {

// Why TLS with a server failed, from Qt's typed verdicts: one sentence
// naming the server's address (`where`) and never a key, and its kind.
class TlsFailure
{
public:
    // The server's certificate failed verification: not trusted (by whom it
    // was issued), expired or not yet valid (the date), or not made out to
    // `host` (the names it holds).
    static PortError certificate(const QString& where, const QString& host,
                                 const QList<QSslError>& errors);

    // A fatal alert of the handshake, or one that ends the connection after
    // it: with TLS 1.3 a refused client certificate comes after the
    // handshake. `description` is the alert's own wording.
    static PortError alert(const QString& where, QSsl::AlertType type, const QString& description,
                           bool certificateGiven);

    // The server closed the connection after the handshake before it sent a
    // byte: what a server that checks client certificates only then does
    // (ser2net with TLS 1.3) when it refuses the certificate, or finds none;
    // a server that ends then for another reason looks the same.
    static PortError closedAfterHandshake(const QString& where, bool certificateGiven);

    // The server's first answer was no TLS record.
    static PortError notTls(const QString& where);
    static QString notTlsSentence(const QString& where);

    // Whether the first bytes of a server's answer can begin a TLS record:
    // a record type from 20 to 24 and a major version of 3.
    static bool beginsTlsRecord(const QByteArray& first);
};

} // namespace qm240lx
