#pragma once

#include "failure/PortError.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace qm240lx {

class TlsAlerts;

// Why TLS with a server failed, from Qt's typed verdicts (certificate errors,
// alerts) and never from the wording of a message: its kind, and one sentence
// naming the server's address (`where`) and never a key. Whatever the server
// chose (names, issuer, an alert's wording) is printed escaped and bounded,
// on the one line.
class TlsFailure
{
public:
    // The server's certificate failed verification: not trusted (by whom it
    // was issued), expired or not yet valid (the date), or not made out to
    // `host` (the names it holds).
    static PortError certificate(const QString& where, const QString& host,
                                 const QList<QSslError>& errors);

    // The certificate passed verification but is not made out to `host`.
    static PortError wrongName(const QString& where, const QString& host,
                               const QSslCertificate& certificate);

    // A handshake the server broke off with an alert, or one this side broke
    // off (a TLS version older than 1.2); with TLS 1.3 a refused client
    // certificate comes after the handshake, as the reason the connection was
    // lost. `reason` only words a failure no alert tells of.
    static PortError handshake(const QString& where, const TlsAlerts& alerts, const QString& reason,
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
