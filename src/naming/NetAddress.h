#pragma once

#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

namespace qm240lx {

// A serial line behind a serial device server (or ser2net), reached over the
// network: "WORD+WORD://HOST:PORT", the scheme's words naming the layers of
// the stack from the top down ("rfc2217+tls://" is RFC 2217 inside TLS).
// HOST is a name, an IPv4 address or an IPv6 address in brackets. Which words
// name a layer is for the port stack to say. Such an address goes wherever a
// device path goes: --port and the QM240LX_COM<n> overrides.
struct NetAddress
{
    QStringList layers; // lower case, the top first
    QString host;
    std::uint16_t port = 0;

    friend bool operator==(const NetAddress&, const NetAddress&) = default;

    // Whether `text` names a network port at all ("scheme://..."), well
    // formed or not; a device path never does.
    static bool isNetworkPort(const QString& text);

    // Nullopt for anything but a well-formed address, a port from 1 to 65535.
    static std::optional<NetAddress> parse(const QString& text);

    // The address as parse() takes it.
    QString text() const;
};

} // namespace qm240lx
