#pragma once

#include <cstdint>
#include <optional>

#include <QString>

namespace qm240lx {

// A serial line behind a serial device server (or ser2net), reached over TCP:
// "rfc2217://HOST:PORT" with the telnet COM-PORT-OPTION, which sets the line
// to 9600 8N1, or "tcp://HOST:PORT", the bytes as they are on a line the
// server has set up. Either inside TLS with "+tls" after the scheme
// ("rfc2217+tls://", "tcp+tls://"). HOST is a name, an IPv4 address or an
// IPv6 address in brackets. Such an address goes wherever a device path goes:
// --port and the QM240LX_COM<n> overrides.
struct NetAddress
{
    enum class Kind
    {
        Rfc2217,
        RawTcp,
    };

    Kind kind = Kind::RawTcp;
    bool tls = false;
    QString host;
    std::uint16_t port = 0;

    friend bool operator==(const NetAddress&, const NetAddress&) = default;

    // What parse() accepts, for usage errors.
    static constexpr const char* accepted =
        "rfc2217://HOST:PORT, tcp://HOST:PORT, rfc2217+tls://HOST:PORT or "
        "tcp+tls://HOST:PORT with PORT from 1 to 65535";

    // Whether `text` names a network port at all ("scheme://..."), well
    // formed or not; a device path never does.
    static bool isNetworkPort(const QString& text);

    // Nullopt for anything but a well-formed address.
    static std::optional<NetAddress> parse(const QString& text);

    // The address as parse() takes it.
    QString text() const;
};

} // namespace qm240lx
