#pragma once

#include "naming/ComMap.h"

#include <QString>

namespace qm240lx {

// The files TLS ports take their trust and the client's certificate from:
// --tls-ca, --tls-cert and --tls-key, else QM240LX_TLS_CA, QM240LX_TLS_CERT
// and QM240LX_TLS_KEY. An empty path names no file.
struct TlsFiles
{
    QString ca;   // replaces the system's trusted certificates
    QString cert; // the client's certificate, for servers that demand one
    QString key;  // its private key

    friend bool operator==(const TlsFiles&, const TlsFiles&) = default;

    bool isEmpty() const { return ca.isEmpty() && cert.isEmpty() && key.isEmpty(); }

    // These files, each one not named here taken from the environment.
    TlsFiles withEnvironment(const EnvLookup& env) const;
};

} // namespace qm240lx
