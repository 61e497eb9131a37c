#include "tls/TlsFailure.h"

#include <algorithm>
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

PortError failed(PortError::Kind kind, const QString& where, const QString& message)
{
    return PortError{kind, where, message};
}

PortError certificateDemanded(const QString& where)
{
    return failed(PortError::Kind::ClientCertificate, where,
                  QStringLiteral("%1 demands a client certificate and none was given "
                                 "(--tls-cert and --tls-key).")
                      .arg(where));
}

} // namespace

PortError TlsFailure::certificate(const QString& where, const QString& host,
                                  const QList<QSslError>& errors)
{
    using Kind = PortError::Kind;
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
    if (const QSslError* error = firstOf(errors, {QSslError::HostNameMismatch})) {
        return failed(Kind::WrongName, where,
                      QStringLiteral("%1: the server's certificate is made out to %2, not to %3.")
                          .arg(where, namesIn(error->certificate()), host));
    }
    return failed(Kind::TlsFailed, where,
                  QStringLiteral("%1: the server's certificate was refused: %2.")
                      .arg(where, errors.isEmpty() ? QStringLiteral("no reason given")
                                                   : errors.first().errorString()));
}

PortError TlsFailure::alert(const QString& where, QSsl::AlertType type, const QString& description,
                            bool certificateGiven)
{
    switch (type) {
    case QSsl::AlertType::CertificateRequired:
        return certificateDemanded(where);
    case QSsl::AlertType::BadCertificate:
    case QSsl::AlertType::UnsupportedCertificate:
    case QSsl::AlertType::CertificateRevoked:
    case QSsl::AlertType::CertificateExpired:
    case QSsl::AlertType::CertificateUnknown:
    case QSsl::AlertType::UnknownCa:
    case QSsl::AlertType::AccessDenied:
    case QSsl::AlertType::HandshakeFailure:
        if (!certificateGiven)
            return certificateDemanded(where);
        return failed(
            PortError::Kind::ClientCertificate, where,
            QStringLiteral("%1 refused the client certificate (%2).").arg(where, description));
    case QSsl::AlertType::ProtocolVersion:
    case QSsl::AlertType::InsufficientSecurity:
        return failed(PortError::Kind::TlsTooOld, where,
                      QStringLiteral("%1 offers only a TLS version older than 1.2, which is "
                                     "refused.")
                          .arg(where));
    default:
        break;
    }
    return failed(PortError::Kind::TlsFailed, where,
                  QStringLiteral("TLS with %1 failed: %2.").arg(where, description));
}

PortError TlsFailure::closedAfterHandshake(const QString& where, bool certificateGiven)
{
    if (certificateGiven)
        return failed(PortError::Kind::ClientCertificate, where,
                      QStringLiteral("%1 closed the connection right after the TLS handshake, "
                                     "before sending anything: it probably refused the client "
                                     "certificate given.")
                          .arg(where));
    return failed(PortError::Kind::ClientCertificate, where,
                  QStringLiteral("%1 closed the connection right after the TLS handshake, before "
                                 "sending anything: it probably demands a client certificate, "
                                 "and none was given (--tls-cert and --tls-key).")
                      .arg(where));
}

PortError TlsFailure::notTls(const QString& where)
{
    return failed(PortError::Kind::NotTls, where, notTlsSentence(where));
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
