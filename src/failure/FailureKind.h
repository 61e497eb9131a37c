#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qm240lx {

// Why a port could not be opened or stopped working, or why an adapter did
// not do what it was asked: one of a fixed list, each with a name that
// scripts may rely on (the "kind" of --json reports). Names are never
// changed or reused; new kinds are added at the end of a group.
enum class FailureKind
{
    None,
    // Naming and opening a serial device.
    NoComDevice,      // the COM number stands for no device
    DeviceNotFound,   // the device file is not there
    PermissionDenied, // the device's access rights keep us out
    Busy,             // another program holds the port or its lock
    StaleLock,        // a lock left by a program that no longer runs, not ours to remove
    SystemConsole,    // the device is the active system console and is never opened
    CannotOpen,       // the system refused the device for another reason
    // Reaching a network port.
    BadAddress,         // no network port this tool knows how to open
    UnknownHost,        // the host name stands for no address
    Refused,            // nothing listens at the address
    Unreachable,        // no route to the host, or another network error
    TimedOut,           // the opening did not end within its bound
    ClosedByServer,     // the server closed the connection while it was being opened
    NegotiationRefused, // the server refuses RFC 2217
    GivenUp,            // the opening or the command was given up: the program is closing
    // TLS.
    NotTls,               // the server does not speak TLS
    CertificateUntrusted, // issued by an authority that is not trusted
    WrongName,            // made out to other names than the host's
    CertificateExpired,   // expired, or not valid yet
    ClientCertificate,    // the server demands a client certificate, or refused the one given
    TlsTooOld,            // the server offers only TLS older than 1.2
    TlsFailed,            // any other TLS failure
    KeyRefused,           // a TLS key others can read, or one behind a passphrase
    BadTlsFile,           // a TLS certificate, key or CA file that cannot be read, parsed or paired
    // The open port and the adapter on it.
    Lost,         // the port vanished or failed while open
    NoAdapter,    // nothing answered the probe
    WrongAnswer,  // something answered the probe, but not the adapter's acknowledgement
    Rejected,     // the adapter rejected a byte, or refused to save
    NotConfirmed, // the adapter did not confirm a byte or a save
    KeepsSending, // the line never fell quiet before a command
    // What the command was given.
    BadProfile,        // the profile is not valid
    ProfileUnreadable, // the profile cannot be read
    TooManyPorts,      // more ports than the open-file limit allows
};

struct FailureKindName
{
    FailureKind kind;
    std::string_view name;
};

inline constexpr std::array failureKindNames{
    FailureKindName{FailureKind::None, "none"},
    FailureKindName{FailureKind::NoComDevice, "no_com_device"},
    FailureKindName{FailureKind::DeviceNotFound, "device_not_found"},
    FailureKindName{FailureKind::PermissionDenied, "permission_denied"},
    FailureKindName{FailureKind::Busy, "port_busy"},
    FailureKindName{FailureKind::StaleLock, "stale_lock"},
    FailureKindName{FailureKind::SystemConsole, "system_console"},
    FailureKindName{FailureKind::CannotOpen, "cannot_open"},
    FailureKindName{FailureKind::BadAddress, "bad_address"},
    FailureKindName{FailureKind::UnknownHost, "unknown_host"},
    FailureKindName{FailureKind::Refused, "connection_refused"},
    FailureKindName{FailureKind::Unreachable, "unreachable"},
    FailureKindName{FailureKind::TimedOut, "timed_out"},
    FailureKindName{FailureKind::ClosedByServer, "closed_by_server"},
    FailureKindName{FailureKind::NegotiationRefused, "negotiation_refused"},
    FailureKindName{FailureKind::GivenUp, "given_up"},
    FailureKindName{FailureKind::NotTls, "not_tls"},
    FailureKindName{FailureKind::CertificateUntrusted, "certificate_untrusted"},
    FailureKindName{FailureKind::WrongName, "certificate_wrong_name"},
    FailureKindName{FailureKind::CertificateExpired, "certificate_expired"},
    FailureKindName{FailureKind::ClientCertificate, "client_certificate"},
    FailureKindName{FailureKind::TlsTooOld, "tls_too_old"},
    FailureKindName{FailureKind::TlsFailed, "tls_failed"},
    FailureKindName{FailureKind::KeyRefused, "tls_key_refused"},
    FailureKindName{FailureKind::BadTlsFile, "tls_file_unusable"},
    FailureKindName{FailureKind::Lost, "port_lost"},
    FailureKindName{FailureKind::NoAdapter, "no_adapter"},
    FailureKindName{FailureKind::WrongAnswer, "wrong_answer"},
    FailureKindName{FailureKind::Rejected, "rejected"},
    FailureKindName{FailureKind::NotConfirmed, "not_confirmed"},
    FailureKindName{FailureKind::KeepsSending, "keeps_sending"},
    FailureKindName{FailureKind::BadProfile, "bad_profile"},
    FailureKindName{FailureKind::ProfileUnreadable, "profile_unreadable"},
    FailureKindName{FailureKind::TooManyPorts, "too_many_ports"},
};

// The kind's stable name.
constexpr std::string_view nameOf(FailureKind kind)
{
    for (const FailureKindName& entry : failureKindNames) {
        if (entry.kind == kind)
            return entry.name;
    }
    return "none";
}

} // namespace qm240lx
