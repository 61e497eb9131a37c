#include "link/TlsFailure.h"

#include "link/PeerText.h"
#include "link/TlsAlerts.h"
#include "link/TlsPeerName.h"

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

// Failures OpenSSL finds on this side, before the server said anything TLS.
struct LocalFailure
{
    const char* reason; // as OpenSSL words it
    enum
    {
        OldVersion,
        NoTls,
    } meaning;
};

constexpr std::array localFailures{
    LocalFailure{"unsupported protocol", LocalFailure::OldVersion},
    LocalFailure{"version too low", LocalFailure::OldVersion},
    LocalFailure{"wrong version number", LocalFailure::NoTls},
    LocalFailure{"packet length too long", LocalFailure::NoTls},
    LocalFailure{"record layer failure", LocalFailure::NoTls},
    LocalFailure{"http request", LocalFailure::NoTls},
    LocalFailure{"unknown protocol", LocalFailure::NoTls},
};

const LocalFailure* localFailureIn(const QString& reason)
{
    const auto found = std::ranges::find_if(localFailures, [&reason](const LocalFailure& failure) {
        return reason.contains(QLatin1String(failure.reason), Qt::CaseInsensitive);
    });
    return found == localFailures.end() ? nullptr : &*found;
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

QString demanded(const QString& where)
{
    return QStringLiteral("%1 demands a client certificate and none was given "
                          "(--tls-cert and --tls-key).")
        .arg(where);
}

QString oldVersion(const QString& where)
{
    return QStringLiteral("%1 offers only a TLS version older than 1.2, which is refused.")
        .arg(where);
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

QString refusedCertificate(const QString& where, const QString& alertName)
{
    return QStringLiteral("%1 refused the client certificate (%2).").arg(where, alertName);
}

// A server answers a greeting it shares no cipher suite or version with so;
// with TLS 1.2 also a client certificate it misses or refuses, which only
// this client's answer to the server's first flight can have shown it.
QString offerRefused(const QString& where, const TlsAlerts& alerts, const QString& alertName,
                     bool certificateGiven)
{
    if (!alerts.afterAnswer())
        return QStringLiteral("%1 broke off the TLS handshake at its greeting (alert \"%2\"): it "
                              "shares no cipher suite or TLS version (1.2 or later) with this "
                              "tool.")
            .arg(where, alertName);
    if (certificateGiven)
        return refusedCertificate(where, alertName);
    return QStringLiteral("%1 broke off the TLS handshake (alert \"%2\") after this tool "
                          "answered without a client certificate: it probably demands one "
                          "(--tls-cert and --tls-key).")
        .arg(where, alertName);
}

QString fromAlert(const QString& where, const TlsAlerts& alerts, bool certificateGiven)
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
    return QStringLiteral("TLS with %1 failed: the server sent the alert \"%2\".").arg(where, name);
}

} // namespace

QString TlsFailure::certificate(const QString& where, const QString& host,
                                const QList<QSslError>& errors)
{
    if (const QSslError* error = firstOf(errors, {QSslError::CertificateNotYetValid})) {
        return QStringLiteral("%1: the server's certificate is not valid before %2.")
            .arg(where, day(error->certificate().effectiveDate()));
    }
    if (const QSslError* error = firstOf(errors, {QSslError::CertificateExpired})) {
        return QStringLiteral("%1: the server's certificate expired on %2.")
            .arg(where, day(error->certificate().expiryDate()));
    }
    if (const QSslError* error = firstOf(
            errors,
            {QSslError::UnableToGetLocalIssuerCertificate, QSslError::UnableToGetIssuerCertificate,
             QSslError::SelfSignedCertificate, QSslError::SelfSignedCertificateInChain,
             QSslError::UnableToVerifyFirstCertificate, QSslError::CertificateUntrusted,
             QSslError::CertificateSignatureFailed, QSslError::InvalidCaCertificate})) {
        return QStringLiteral("%1: the server's certificate is not trusted: it was issued by "
                              "%2, who is not among the trusted (--tls-ca names the CA file).")
            .arg(where, issuerOf(error->certificate()));
    }
    if (const QSslError* error = firstOf(errors, {QSslError::HostNameMismatch}))
        return wrongName(where, host, error->certificate());
    return QStringLiteral("%1: the server's certificate was refused: %2.")
        .arg(where,
             errors.isEmpty() ? QStringLiteral("no reason given") : errors.first().errorString());
}

QString TlsFailure::wrongName(const QString& where, const QString& host,
                              const QSslCertificate& certificate)
{
    const QString sentence =
        QStringLiteral("%1: the server's certificate is made out to %2, not to %3.")
            .arg(where, TlsPeerName::names(certificate), host);
    const QString why = TlsPeerName::whyNotCounted(certificate, host);
    return why.isEmpty() ? sentence : sentence + QLatin1Char(' ') + why;
}

QString TlsFailure::handshake(const QString& where, const TlsAlerts& alerts, const QString& reason,
                              bool certificateGiven)
{
    if (alerts.received())
        return fromAlert(where, alerts, certificateGiven);
    const LocalFailure* failure = localFailureIn(reason);
    if (!failure)
        return QStringLiteral("TLS with %1 failed: %2.").arg(where, PeerText::printable(reason));
    if (failure->meaning == LocalFailure::OldVersion)
        return oldVersion(where);
    return notTls(where);
}

QString TlsFailure::closedAfterHandshake(const QString& where, bool certificateGiven)
{
    if (certificateGiven)
        return QStringLiteral("%1 closed the connection right after the TLS handshake, before "
                              "sending anything: it probably refused the client certificate "
                              "given.")
            .arg(where);
    return QStringLiteral("%1 closed the connection right after the TLS handshake, before "
                          "sending anything: it probably demands a client certificate, and none "
                          "was given (--tls-cert and --tls-key).")
        .arg(where);
}

bool TlsFailure::isTlsFailure(const TlsAlerts& alerts, const QString& reason)
{
    return alerts.received() || localFailureIn(reason) != nullptr;
}

QString TlsFailure::notTls(const QString& where)
{
    return QStringLiteral("The server at %1 does not speak TLS; the TLS greeting may have reached "
                          "the adapter and changed its settings (check them with read).")
        .arg(where);
}

} // namespace qm240lx
