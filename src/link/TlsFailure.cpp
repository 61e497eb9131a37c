#include "link/TlsFailure.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include <QSslCertificate>
#include <QStringList>

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

QString namesIn(const QSslCertificate& certificate)
{
    QStringList names = certificate.subjectInfo(QSslCertificate::CommonName);
    const auto alternatives = certificate.subjectAlternativeNames();
    for (auto name = alternatives.cbegin(); name != alternatives.cend(); ++name) {
        if (!names.contains(name.value()))
            names.append(name.value());
    }
    return names.isEmpty() ? QStringLiteral("no name") : names.join(QStringLiteral(", "));
}

QString issuerOf(const QSslCertificate& certificate)
{
    const QString issuer = certificate.issuerDisplayName();
    return issuer.isEmpty() ? QStringLiteral("an unnamed issuer") : issuer;
}

struct Alert
{
    const char* reason; // as OpenSSL words it
    enum
    {
        CertificateDemanded,
        CertificateRefused,
        OldVersion,
        NoTls,
    } meaning;
};

constexpr std::array alerts{
    Alert{"certificate required", Alert::CertificateDemanded},
    Alert{"peer did not return a certificate", Alert::CertificateDemanded},
    Alert{"bad certificate", Alert::CertificateRefused},
    Alert{"unknown ca", Alert::CertificateRefused},
    Alert{"certificate unknown", Alert::CertificateRefused},
    Alert{"unsupported certificate", Alert::CertificateRefused},
    Alert{"access denied", Alert::CertificateRefused},
    Alert{"handshake failure", Alert::CertificateRefused},
    Alert{"protocol version", Alert::OldVersion},
    Alert{"unsupported protocol", Alert::OldVersion},
    Alert{"version too low", Alert::OldVersion},
    Alert{"wrong version number", Alert::NoTls},
    Alert{"packet length too long", Alert::NoTls},
    Alert{"record layer failure", Alert::NoTls},
    Alert{"http request", Alert::NoTls},
    Alert{"unknown protocol", Alert::NoTls},
};

const Alert* alertIn(const QString& reason)
{
    const auto found = std::ranges::find_if(alerts, [&reason](const Alert& alert) {
        return reason.contains(QLatin1String(alert.reason), Qt::CaseInsensitive);
    });
    return found == alerts.end() ? nullptr : &*found;
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
    if (const QSslError* error = firstOf(errors, {QSslError::HostNameMismatch})) {
        return QStringLiteral("%1: the server's certificate is made out to %2, not to %3.")
            .arg(where, namesIn(error->certificate()), host);
    }
    return QStringLiteral("%1: the server's certificate was refused: %2.")
        .arg(where,
             errors.isEmpty() ? QStringLiteral("no reason given") : errors.first().errorString());
}

QString TlsFailure::handshake(const QString& where, const QString& reason, bool certificateGiven)
{
    const Alert* alert = alertIn(reason);
    if (!alert)
        return QStringLiteral("TLS with %1 failed: %2.").arg(where, reason);
    switch (alert->meaning) {
    case Alert::CertificateDemanded:
    case Alert::CertificateRefused:
        if (!certificateGiven || alert->meaning == Alert::CertificateDemanded)
            return QStringLiteral("%1 demands a client certificate and none was given "
                                  "(--tls-cert and --tls-key).")
                .arg(where);
        return QStringLiteral("%1 refused the client certificate (%2).").arg(where, reason);
    case Alert::OldVersion:
        return QStringLiteral("%1 offers only a TLS version older than 1.2, which is refused.")
            .arg(where);
    case Alert::NoTls:
        break;
    }
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

bool TlsFailure::isTlsReason(const QString& reason)
{
    return alertIn(reason) != nullptr;
}

QString TlsFailure::notTls(const QString& where)
{
    return QStringLiteral("The server at %1 does not speak TLS; the TLS greeting may have reached "
                          "the adapter and changed its settings (check them with read).")
        .arg(where);
}

} // namespace qm240lx
