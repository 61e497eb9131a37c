#pragma once

#include "app/SetupExit.h"
#include "link/PortChoice.h"
#include "naming/ComMap.h"
#include "tls/TlsFiles.h"

#include <optional>
#include <variant>

#include <QString>
#include <QStringList>

namespace qm240lx {

// The window's command line:
//   qm240lx-setup [--port PORT] [--tls-ca FILE] [--tls-cert FILE --tls-key FILE]
//                 [--screenshot FILE [--screenshot-delay MS]]
// It is read once before Qt starts, where no display may be, and once after
// Qt has taken its own options (-style, -geometry...) out of it.
struct SetupOptions
{
    std::optional<PortChoice> port; // COM1 when none is given
    TlsFiles tls;                   // as given; the environment fills in the rest
    std::optional<QString> screenshot;
    int screenshotDelayMs = 1000;
    QString platform; // Qt's -platform
    QString display;  // Qt's -display, for X11

    // Whether Qt has yet to take its own options out of the command line.
    // While it has, options this parser does not know and any words that
    // are not options are left to Qt.
    enum class QtOptions
    {
        Present,
        Removed,
    };

    // Parses a whole command line, program name first. Help, version and
    // usage errors come back as a SetupExit.
    static std::variant<SetupOptions, SetupExit> parse(const QStringList& arguments,
                                                       QtOptions qtOptions = QtOptions::Removed);

    static QString helpText();

    // Whether Qt would need an X11 or Wayland display that nothing names: the
    // platform (-platform, else QT_QPA_PLATFORM, else Qt's default) is xcb or
    // wayland and neither -display, DISPLAY nor WAYLAND_DISPLAY is set.
    bool displayMissing(const EnvLookup& env) const;
};

} // namespace qm240lx
