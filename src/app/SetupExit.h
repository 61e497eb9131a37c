#pragma once

#include "failure/PortError.h"

#include <QString>

namespace qm240lx {

// How qm240lx-setup ends before its window shows: the help or version text on
// standard output, or one line on standard error.
struct SetupExit
{
    static constexpr int usageStatus = 64; // EX_USAGE, as the command-line tool
    static constexpr int noDisplayStatus = 1;
    static constexpr int keyRefusedStatus = 77; // EX_NOPERM: a TLS key others can read
    static constexpr int badTlsFileStatus = 78; // EX_CONFIG: an unusable certificate or key

    int code = 0;
    QString text;

    bool isError() const { return code != 0; }

    static SetupExit usageError(const QString& message)
    {
        return SetupExit{usageStatus, QStringLiteral("qm240lx-setup: %1\n").arg(message)};
    }

    // A TLS certificate or key refused before the window opens any port.
    static SetupExit tlsRefused(const PortError& error)
    {
        return SetupExit{error.kind == PortError::Kind::KeyRefused ? keyRefusedStatus
                                                                   : badTlsFileStatus,
                         QStringLiteral("qm240lx-setup: %1\n").arg(error.message)};
    }

    static SetupExit noDisplay()
    {
        return SetupExit{noDisplayStatus,
                         QStringLiteral("qm240lx-setup: no display: set DISPLAY or "
                                        "WAYLAND_DISPLAY, or use QT_QPA_PLATFORM=offscreen\n")};
    }
};

} // namespace qm240lx
