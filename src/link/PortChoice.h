#pragma once

#include "naming/ComMap.h"

#include <optional>

#include <QHashFunctions>
#include <QString>

namespace qm240lx {

// The port --port names, for the command-line tool and the window alike: a
// COM number, mapped to its device, or a device path or network port
// (rfc2217://HOST:PORT, tcp://HOST:PORT) used as it is.
struct PortChoice
{
    std::optional<int> com; // set for a COM number
    QString devicePath;     // set for a device path or a network port

    friend bool operator==(const PortChoice&, const PortChoice&) = default;
    friend size_t qHash(const PortChoice& port, size_t seed = 0)
    {
        return qHashMulti(seed, port.com.value_or(0), port.devicePath);
    }

    // What parse() accepts, for usage errors.
    static constexpr const char* accepted =
        "a COM number from 1 to 255 (3, COM3, com3) or a device path";

    // What parse() expects of `text`: a network port when it names one.
    static const char* expectedFor(const QString& text);

    // "3", "COM3", "com3" (1 to 255), a path such as "/dev/ttyUSB0" or a
    // network port such as "rfc2217://10.0.0.7:4001"; nullopt for anything
    // else, a malformed network port included.
    static std::optional<PortChoice> parse(const QString& text);

    static PortChoice comPort(int com) { return PortChoice{com, QString()}; }

    // The device or network address the port stands for: a COM number's
    // from the COM map, nullopt when it stands for none.
    std::optional<QString> device(const EnvLookup& env) const;

    // The COM number the port has in the COM map: its own, or the one its
    // device path stands for there; nullopt for a path outside the map.
    std::optional<int> mappedCom(const EnvLookup& env) const;

    // "COM3" or the path, for messages.
    QString name() const;
};

} // namespace qm240lx
