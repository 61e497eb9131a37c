#pragma once

#include "settings/ConfigBytes.h"

#include <array>
#include <optional>

#include <QString>

namespace qm240lx {

// Host baud rates by the speed code of the H-Byte (the Hspeed element index).
inline constexpr std::array<int, 8> baudRates{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Discovery times in seconds that have a code of their own (OPT_DTime elements 0 to 4).
inline constexpr int shortestDiscoveryTimeS = 1;
inline constexpr int longestDiscoveryTimeS = 5;

// The values a setting can take, as the window offers them.
constexpr bool isSlotCount(int slots)
{
    return slots == 1 || slots == 6;
}
constexpr bool isDiscoveryTime(int seconds)
{
    return seconds >= shortestDiscoveryTimeS && seconds <= longestDiscoveryTimeS;
}

enum class DiscoveryMode
{
    PrimarySecondary,
    SecondaryOnly,
};

// In the order of their codes in the P-Byte.
enum class PrimaryProtocol
{
    IrComm,
    IrLpt,
    Obex,
    IrSocket,
};

// The adapter's configuration as named settings, read the way the window
// shows the bytes: bits no field covers are ignored, and an unknown
// discovery-time code reads as 3 seconds.
struct ConfigFields
{
    int baudRate = baudRates[0];
    bool ignoreCts = false;
    bool ignoreDsr = false;
    DiscoveryMode mode = DiscoveryMode::PrimarySecondary;
    int discoverySlots = 6; // 1 or 6
    int discoveryTimeS = 3; // 1 to 5
    PrimaryProtocol protocol = PrimaryProtocol::IrComm;

    friend bool operator==(const ConfigFields&, const ConfigFields&) = default;

    static ConfigFields decode(const ConfigBytes& bytes);
};

// The speed code of a baud rate; nullopt for a rate the adapter does not offer.
std::optional<int> baudCode(int baudRate);

// Short names for command lines and JSON: "primary-secondary", "secondary-only".
QString modeName(DiscoveryMode mode);
std::optional<DiscoveryMode> parseModeName(const QString& name);

// The window's captions: "Primary / Secondary", "Secondary only".
QString modeCaption(DiscoveryMode mode);

// Short names: "ircomm", "irlpt", "obex", "irsocket".
QString protocolName(PrimaryProtocol protocol);
std::optional<PrimaryProtocol> parseProtocolName(const QString& name);

// The window's captions: "IrComm 9-wire", "IrLPT", "OBEX Transport", "IrSocket".
QString protocolCaption(PrimaryProtocol protocol);

} // namespace qm240lx
