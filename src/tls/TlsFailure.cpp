#include "tls/TlsFailure.h"

#include "tls/PeerText.h"
#include "tls/TlsAlerts.h"
#include "tls/TlsPeerName.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include <QSslCertificate>

namespace qm240lx {
namespace {

bool isOneOf(const QSslError& error, std::initializer_list<QSslError::SslError> kinds)
{
    return std::ranges::find(kinds, error.error()) != kinds.end();
}

const QSslError* firstOf(const QList<QSslError>& errors,
                         std::initializer_list<QSslError::SslError> kinds)
{
    const auto found = std::ranges::find_if(
        errors, [&kinds](const QSslError& error) { return isOneOf(error, kinds); });
    return found == errors.end() ? nullptr : &*found;
}

QString day(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

QString issuerOf(const QSslCertificate& certificate)
{
    const QString issuer = certificate.issuerDisplayName();
    return issuer.isEmpty() ? QStringLiteral("an unnamed issuer") : PeerText::printable(issuer);
}

using Kind = PortError::Kind;

PortError failed(Kind kind, const QString& where, const QString& message)
{
    return PortError{kind, where, message};
}

constexpr std::array certificateRefusals{
    QSsl::AlertType::BadCertificate,     QSsl::AlertType::UnsupportedCertificate,
    QSsl::AlertType::CertificateRevoked, QSsl::AlertType::CertificateExpired,
    QSsl::AlertType::CertificateUnknown, QSsl::AlertType::UnknownCa,
    QSsl::AlertType::AccessDenied,
};

bool refusesACertificate(QSsl::AlertType alert)
{
    return std::ranges::find(certificateRefusals, alert) != certificateRefusals.end();
}

PortError demanded(const QString& where)
{
    return failed(Kind::ClientCertificate, where,
                  QStringLiteral("%1 demands a client certificate and none was given "
                                 "(--tls-cert and --tls-key).")
                      .arg(where));
}

PortError oldVersion(const QString& where)
{
    return failed(Kind::TlsTooOld, where,
                  QStringLiteral("%1 offers only a TLS version older than 1.2, which is refused.")
                      .arg(where));
}

bool asksForACertificate(QSsl::AlertType alert)
{
    return alert == QSsl::AlertType::CertificateRequired || alert == QSsl::AlertType::NoCertificate;
}

bool refusesTheOffer(QSsl::AlertType alert)
{
    return alert == QSsl::AlertType::HandshakeFailure ||
           alert == QSsl::AlertType::InsufficientSecurity;
}

PortError refusedCertificate(const QString& where, const QString& alertName)
{
    return failed(Kind::ClientCertificate, where,
                  QStringLiteral("%1 refused the client certificate (%2).").arg(where, alertName));
}

// A server answers a greeting it shares no cipher suite or version with so;
// with TLS 1.2 also a client certificate it misses or refuses, which only
// this client's answer to the server's first flight can have shown it.
PortError offerRefused(const QString& where, const TlsAlerts& alerts, const QString& alertName,
                       bool certificateGiven)
{
    if (!alerts.afterAnswer())
        return failed(Kind::TlsFailed, where,
                      QStringLiteral("%1 broke off the TLS handshake at its greeting (alert "
                                     "\"%2\"): it shares no cipher suite or TLS version (1.2 or "
                                     "later) with this tool.")
                          .arg(where, alertName));
    if (certificateGiven)
        return refusedCertificate(where, alertName);
    return failed(Kind::ClientCertificate, where,
                  QStringLiteral("%1 broke off the TLS handshake (alert \"%2\") after this tool "
                                 "answered without a client certificate: it probably demands one "
                                 "(--tls-cert and --tls-key).")
                      .arg(where, alertName));
}

PortError fromAlert(const QString& where, const TlsAlerts& alerts, bool certificateGiven)
{
    const QSsl::AlertType alert = *alerts.received();
    const QString name = PeerText::printable(alerts.description());
    if (certificateGiven && (asksForACertificate(alert) || refusesACertificate(alert)))
        return refusedCertificate(where, name);
    if (asksForACertificate(alert))
        return demanded(where);
    if (alert == QSsl::AlertType::ProtocolVersion)
        return oldVersion(where);
    if (refusesTheOffer(alert))
        return offerRefused(where, alerts, name, certificateGiven);
    return failed(
        Kind::TlsFailed, where,
        QStringLiteral("TLS with %1 failed: the server sent the alert \"%2\".").arg(where, name));
}

} // namespace

PortError TlsFailure::certificate(const QString& where, const QString& host,
                                  const QList<QSslError>& errors)
{
    if (const QSslError* error = firstOf(errors, {QSslError::CertificateNotYetValid})) {
        return failed(Kind::CertificateExpired, where,
                      QStringLiteral("%1: the server's certificate is not valid before %2.")
                          .arg(where, day(error->certificate().effectiveDate())));
    }
    if (const QSslError* error = firstOf(errors, {QSslError::CertificateExpired})) {
        return failed(Kind::CertificateExpired, where,
                      QStringLiteral("%1: the server's certificate expired on %2.")
                          .arg(where, day(error->certificate().expiryDate())));
    }
    if (const QSslError* error = firstOf(
            errors,
            {QSslError::UnableToGetLocalIssuerCertificate, QSslError::UnableToGetIssuerCertificate,
             QSslError::SelfSignedCertificate, QSslError::SelfSignedCertificateInChain,
             QSslError::UnableToVerifyFirstCertificate, QSslError::CertificateUntrusted,
             QSslError::CertificateSignatureFailed, QSslError::InvalidCaCertificate})) {
        return failed(Kind::CertificateUntrusted, where,
                      QStringLiteral("%1: the server's certificate is not trusted: it was issued "
                                     "by %2, who is not among the trusted (--tls-ca names the CA "
                                     "file).")
                          .arg(where, issuerOf(error->certificate())));
    }
    if (const QSslError* error = firstOf(errors, {QSslError::HostNameMismatch}))
        return wrongName(where, host, error->certificate());
    return failed(Kind::TlsFailed, where,
                  QStringLiteral("%1: the server's certificate was refused: %2.")
                      .arg(where, errors.isEmpty()
                                      ? QStringLiteral("no reason given")
                                      : PeerText::printable(errors.first().errorString())));
}

PortError TlsFailure::wrongName(const QString& where, const QString& host,
                                const QSslCertificate& certificate)
{
    const QString sentence =
        QStringLiteral("%1: the server's certificate is made out to %2, not to %3.")
            .arg(where, TlsPeerName::names(certificate), host);
    const QString why = TlsPeerName::whyNotCounted(certificate, host);
    return failed(Kind::WrongName, where,
                  why.isEmpty() ? sentence : sentence + QLatin1Char(' ') + why);
}

PortError TlsFailure::handshake(const QString& where, const TlsAlerts& alerts,
                                const QString& reason, bool certificateGiven)
{
    if (alerts.received())
        return fromAlert(where, alerts, certificateGiven);
    if (alerts.sent() == QSsl::AlertType::ProtocolVersion)
        return oldVersion(where);
    return failed(
        Kind::TlsFailed, where,
        QStringLiteral("TLS with %1 failed: %2.").arg(where, PeerText::printable(reason)));
}

PortError TlsFailure::closedAfterHandshake(const QString& where, bool certificateGiven)
{
    if (certificateGiven)
        return failed(Kind::ClientCertificate, where,
                      QStringLiteral("%1 closed the connection right after the TLS handshake, "
                                     "before sending anything: it probably refused the client "
                                     "certificate given.")
                          .arg(where));
    return failed(Kind::ClientCertificate, where,
                  QStringLiteral("%1 closed the connection right after the TLS handshake, before "
                                 "sending anything: it probably demands a client certificate, "
                                 "and none was given (--tls-cert and --tls-key).")
                      .arg(where));
}

PortError TlsFailure::notTls(const QString& where)
{
    return failed(Kind::NotTls, where, notTlsSentence(where));
}

QString TlsFailure::notTlsSentence(const QString& where)
{
    return QStringLiteral("The server at %1 does not speak TLS; the TLS greeting may have reached "
                          "the adapter and changed its settings (check them with read).")
        .arg(where);
}

bool TlsFailure::beginsTlsRecord(const QByteArray& first)
{
    constexpr char changeCipherSpec = 20;
    constexpr char heartbeat = 24;
    constexpr char majorVersion = 3;
    if (first.isEmpty() || first.at(0) < changeCipherSpec || first.at(0) > heartbeat)
        return false;
    return first.size() < 2 || first.at(1) == majorVersion;
}

} // namespace qm240lx
