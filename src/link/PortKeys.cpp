#include "link/PortKeys.h"

#include "link/NetAddress.h"

namespace qm240lx {

PortKeys::PortKeys(const EnvLookup& env) : m_env(env) {}

PortKeys::Key PortKeys::of(const PortChoice& port) const
{
    if (port.com) {
        const std::optional<QString> device = comDevice(*port.com, m_env);
        return {*port.com, device ? resolvedPath(*device) : port.name()};
    }
    const bool networkPort = NetAddress::isNetworkPort(port.devicePath);
    std::optional<QHash<QString, int>>& numbers =
        networkPort ? m_networkComNumbers : m_fileComNumbers;
    if (!numbers)
        numbers = comNumbersByResolvedPath(m_env, networkPort);
    const QString device = resolvedPath(port.devicePath);
    return {numbers->value(device, outsideComMap), device};
}

} // namespace qm240lx
