#pragma once

#include "settings/ConfigBytes.h"

namespace qm240lx {

// In the order of modeValues.
enum class DiscoveryMode
{
    PrimarySecondary,
    SecondaryOnly,
};

// In the order of protocolValues, which is that of their codes in the P-Byte.
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
    int baudRate = 0; // bps
    bool ignoreCts = false;
    bool ignoreDsr = false;
    DiscoveryMode mode = DiscoveryMode::PrimarySecondary;
    int discoverySlots = 0;
    int discoveryTimeS = 0;
    PrimaryProtocol protocol = PrimaryProtocol::IrComm;

    friend bool operator==(const ConfigFields&, const ConfigFields&) = default;

    static ConfigFields decode(const ConfigBytes& bytes);
};

} // namespace qm240lx
