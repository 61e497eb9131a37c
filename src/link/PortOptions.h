#pragma once

#include "failure/PortError.h"
#include "naming/ComMap.h"
#include "naming/PortLock.h"
#include "tls/TlsFiles.h"

#include <functional>
#include <optional>

#include <QSslConfiguration>
#include <QStringList>

namespace qm240lx {

// What a port is opened with besides its address.
struct PortOptions
{
    using ConsoleCheck = std::function<bool(const QString& device)>;

    // A TLS port's trust and client certificate; the system's trust and no
    // certificate when none is given.
    std::optional<QSslConfiguration> tls;
    // A serial device that is the system console is never opened.
    ConsoleCheck isConsole = isSystemConsole;
    // Where the lock file of a busy serial device is looked for, to tell who
    // holds it.
    QStringList lockDirectories = PortLock::systemDirectories();
};

// Loads the certificates and keys `given` names, the environment's where it
// names none, into `options`; every one is checked before any port is opened.
std::optional<PortError> loadTls(const TlsFiles& given, PortOptions& options);

} // namespace qm240lx
