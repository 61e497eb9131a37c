#pragma once

#include "naming/ComMap.h"

#include <optional>

#include <QHash>
#include <QString>

namespace qm240lx {

// Where a port stands among others and which device it is, for a run over
// many ports: worked out once per port, the COM map read once for all and
// only when a port needs it. A network port is never looked for in the file
// system.
class PortKeys
{
public:
    // What orders the ports: their COM number, the COM number a path stands
    // for, and a path outside the COM map last.
    static constexpr int outsideComMap = lastComNumber + 1;

    struct Key
    {
        int order = outsideComMap;
        QString device; // one spelling per device: two names of one device share it
    };

    explicit PortKeys(const EnvLookup& env);

    // A port given by its COM number, or by its device path or network address.
    Key of(std::optional<int> com, const QString& path) const;

private:
    EnvLookup m_env;
    // The COM numbers of the network ports and of the device files.
    mutable std::optional<QHash<QString, int>> m_networkComNumbers;
    mutable std::optional<QHash<QString, int>> m_fileComNumbers;
};

} // namespace qm240lx
