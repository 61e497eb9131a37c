#include "naming/PortKeys.h"

#include "naming/NetAddress.h"

namespace qm240lx {

PortKeys::PortKeys(const EnvLookup& env) : m_env(env) {}

PortKeys::Key PortKeys::of(std::optional<int> com, const QString& path) const
{
    if (com) {
        const std::optional<QString> device = comDevice(*com, m_env);
        return {*com, device ? resolvedPath(*device) : comName(*com)};
    }
    const bool networkPort = NetAddress::isNetworkPort(path);
    std::optional<QHash<QString, int>>& numbers =
        networkPort ? m_networkComNumbers : m_fileComNumbers;
    if (!numbers)
        numbers = comNumbersByResolvedPath(m_env, networkPort);
    const QString device = resolvedPath(path);
    return {numbers->value(device, outsideComMap), device};
}

} // namespace qm240lx
