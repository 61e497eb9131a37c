#pragma once

#include <QString>

namespace qm240lx {

// Why a port could not be opened, or why an open port stopped working.
struct PortError
{
    enum class Kind
    {
        None,
        NoSuchDevice,     // the COM number maps to no device, or the device is absent
        SystemConsole,    // the device is the active system console and is never opened
        Busy,             // another program holds the port's lock
        StaleLock,        // a lock left by a program that no longer runs, not ours to remove
        PermissionDenied, // the device's access rights keep us out
        Lost,             // the port vanished or failed while open (unplugged adapter)
        BadAddress,       // a network port that is no rfc2217:// or tcp:// address
        KeyRefused,       // a TLS key others can read, or one behind a passphrase
        BadTlsFile,       // a TLS certificate or key that cannot be read, parsed or paired
        Other,
    };

    Kind kind = Kind::None;
    QString device;  // the device path, where one is known
    QString message; // one clear sentence for the user

    bool isError() const { return kind != Kind::None; }
};

} // namespace qm240lx
