#pragma once

#include "naming/ComMap.h"
#include "naming/PortLock.h"

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

} // namespace qm240lx
