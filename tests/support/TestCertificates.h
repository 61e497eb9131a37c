#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qm240lx::test {

// A small PKI made with openssl for the TLS tests: a CA, a second CA that
// nothing trusts, server certificates for the loopback (good, for another
// name, expired), client certificates from each CA, and broken keys. Made
// once per test program; every key file is private (mode 600) unless its
// name says otherwise.
class TestCertificates
{
public:
    // The one set of the process; it fails the test that asks when openssl
    // fails.
    static const TestCertificates& get();

    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString ca() const { return path("ca.crt"); }
    QString otherCa() const { return path("other-ca.crt"); }
    // Made out to localhost and 127.0.0.1.
    QString serverCert() const { return path("server.crt"); }
    QString serverKey() const { return path("server.key"); }
    // A server's configuration with that certificate and key.
    QSslConfiguration serverConfiguration() const;
    QString wrongNameCert() const { return path("wrong-name.crt"); }
    QString expiredCert() const { return path("expired.crt"); }
    // Common name localhost beside the one DNS name other.example.
    QString otherNameCert() const { return path("other-name.crt"); }
    // 127.0.0.1 only as the common name, or only as a DNS name.
    QString addressAsCommonNameCert() const { return path("address-cn.crt"); }
    QString addressAsDnsNameCert() const { return path("address-dns.crt"); }
    // Names n1.adapters.example.com to n3000.adapters.example.com.
    QString manyNamesCert() const { return path("many-names.crt"); }
    // Self-signed; its common name clears the screen, sets the terminal's
    // title and forges a line of the tool's own.
    QString hostileCert() const { return path("hostile.crt"); }
    // The client is "client", as ser2net takes the user from the common name.
    QString clientCert() const { return path("client.crt"); }
    QString clientKey() const { return path("client.key"); }
    QString strangerCert() const { return path("stranger.crt"); } // from the other CA
    QString strangerKey() const { return path("stranger.key"); }
    QString exposedKey() const { return path("exposed.key"); }       // mode 644
    QString passphraseKey() const { return path("passphrase.key"); } // "secret"
    QString corruptKey() const { return path("corrupt.key"); }

    QString error() const { return m_error; }

private:
    TestCertificates();
    bool make();
    bool openssl(const QStringList& arguments);
    bool issue(const QString& name, const QString& subjectName, const QString& caName,
               const QStringList& extra);
    bool selfSigned(const QString& name, const QString& subjectName, const QStringList& extra = {});
    bool issueForNames(const QString& name, const QString& subjectName,
                       const QByteArray& alternativeNames);

    QTemporaryDir m_dir;
    QString m_error;
};

} // namespace qm240lx::test
