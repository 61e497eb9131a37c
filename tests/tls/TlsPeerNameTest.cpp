#include "tls/TlsPeerName.h"

#include <QProcess>
#include <QSslCertificate>

#include <gtest/gtest.h>

namespace qm240lx {
namespace {

// Self-signed by openssl, the key thrown away.
QSslCertificate madeOutTo(const QString& commonName, const QString& alternativeNames)
{
    QStringList arguments{
        "req",    "-x509",   "-newkey",   "ec",    "-pkeyopt",         "ec_paramgen_curve:P-256",
        "-nodes", "-keyout", "/dev/null", "-subj", "/CN=" + commonName};
    if (!alternativeNames.isEmpty())
        arguments << "-addext"
                  << "subjectAltName=" + alternativeNames;
    QProcess openssl;
    openssl.start("openssl", arguments);
    openssl.waitForFinished(30000);
    return QSslCertificate(openssl.readAllStandardOutput());
}

// What curl and Python's ssl accept and refuse; hosts a test cannot reach
// by name (wildcards need three labels) are checked here.
TEST(TlsPeerName, MatchesOnlyWhatACarefulClientAccepts)
{
    const struct
    {
        const char* commonName;
        const char* alternativeNames;
        QStringList accepted;
        QStringList refused;
    } cases[] = {
        {"localhost",
         "DNS:localhost,IP:127.0.0.1,IP:::1",
         {"localhost", "LOCALHOST", "127.0.0.1", "::1", "0:0:0:0:0:0:0:1"},
         {"127.0.0.2", "localhost.example", "::2"}},
        {"localhost", "DNS:other.example", {"other.example"}, {"localhost"}},
        {"localhost", "", {"localhost"}, {"other.example"}},
        {"127.0.0.1", "", {}, {"127.0.0.1"}},
        {"adapter", "DNS:127.0.0.1", {}, {"127.0.0.1"}},
        {"*.example.com",
         "DNS:*.adapters.example.com",
         {"a.adapters.example.com"},
         {"a.example.com", "b.a.adapters.example.com", "adapters.example.com"}},
        {"*.example.com", "", {"a.example.com"}, {"b.a.example.com"}},
        {"adapter", "DNS:f*.example.com", {}, {"foo.example.com"}},
        {"adapter", "DNS:xn--bcher-kva.example", {"bücher.example"}, {"bucher.example"}},
        {"adapter", "DNS:localhost,IP:10.0.0.7", {"10.0.0.7"}, {"adapter", "::ffff:10.0.0.8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.commonName) + " / " + c.alternativeNames);
        const QSslCertificate certificate = madeOutTo(c.commonName, c.alternativeNames);
        ASSERT_FALSE(certificate.isNull());
        for (const QString& host : c.accepted)
            EXPECT_TRUE(TlsPeerName::matches(certificate, host)) << host.toStdString();
        for (const QString& host : c.refused)
            EXPECT_FALSE(TlsPeerName::matches(certificate, host)) << host.toStdString();
    }
}

} // namespace
} // namespace qm240lx
