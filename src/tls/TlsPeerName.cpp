#include "tls/TlsPeerName.h"

#include "tls/PeerText.h"

#include <algorithm>
#include <memory>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QHostAddress>
#include <QUrl>

namespace qm240lx {
namespace {

using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

Certificate parsed(const QSslCertificate& certificate)
{
    const QByteArray der = certificate.toDer();
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
    return Certificate(d2i_X509(nullptr, &bytes, der.size()), X509_free);
}

bool isAddress(const QString& host)
{
    return !QHostAddress(host).isNull();
}

// In the certificate's order: Qt's map holds each kind newest first.
QStringList alternativeNames(const QSslCertificate& certificate,
                             QSsl::AlternativeNameEntryType kind)
{
    QStringList names = certificate.subjectAlternativeNames().values(kind);
    std::reverse(names.begin(), names.end());
    return names;
}

QStringList dnsNames(const QSslCertificate& certificate)
{
    return alternativeNames(certificate, QSsl::DnsEntry);
}

} // namespace

bool TlsPeerName::matches(const QSslCertificate& certificate, const QString& host)
{
    const Certificate x509 = parsed(certificate);
    if (!x509 || host.isEmpty())
        return false;
    if (isAddress(host))
        return X509_check_ip_asc(x509.get(), host.toLatin1().constData(), 0) == 1;
    const QByteArray ace = QUrl::toAce(host);
    return !ace.isEmpty() && X509_check_host(x509.get(), ace.constData(), ace.size(),
                                             X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr) == 1;
}

QString TlsPeerName::names(const QSslCertificate& certificate)
{
    QStringList names = dnsNames(certificate);
    if (names.isEmpty())
        names = certificate.subjectInfo(QSslCertificate::CommonName);
    names += alternativeNames(certificate, QSsl::IpAddressEntry);
    return names.isEmpty() ? QStringLiteral("no name") : PeerText::list(names);
}

QString TlsPeerName::whyNotCounted(const QSslCertificate& certificate, const QString& host)
{
    const QStringList dns = dnsNames(certificate);
    const bool inCommonName =
        certificate.subjectInfo(QSslCertificate::CommonName).contains(host, Qt::CaseInsensitive);
    if (isAddress(host) && dns.contains(host))
        return QStringLiteral("An address counts only among the certificate's IP addresses, "
                              "not among its DNS names.");
    if (isAddress(host) && inCommonName)
        return QStringLiteral("An address counts only among the certificate's IP addresses, "
                              "not as its common name.");
    if (inCommonName && !dns.isEmpty())
        return QStringLiteral("Its common name does not count beside its DNS names.");
    return {};
}

} // namespace qm240lx
