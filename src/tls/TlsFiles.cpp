#include "tls/TlsFiles.h"

namespace qm240lx {
namespace {

QString orVariable(const QString& given, const EnvLookup& env, const char* name)
{
    if (!given.isEmpty())
        return given;
    return env(QString::fromLatin1(name)).value_or(QString());
}

} // namespace

TlsFiles TlsFiles::withEnvironment(const EnvLookup& env) const
{
    return {orVariable(ca, env, "QM240LX_TLS_CA"), orVariable(cert, env, "QM240LX_TLS_CERT"),
            orVariable(key, env, "QM240LX_TLS_KEY")};
}

} // namespace qm240lx
