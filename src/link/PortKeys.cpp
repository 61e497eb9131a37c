#include "link/PortKeys.h"

namespace qm240lx {

PortKeys::PortKeys(const EnvLookup& env) : m_env(env), m_comNumbers(comNumbersByResolvedPath(env))
{}

PortKeys::Key PortKeys::of(const PortChoice& port) const
{
    if (port.com) {
        const std::optional<QString> device = comDevice(*port.com, m_env);
        return {*port.com, device ? resolvedPath(*device) : port.name()};
    }
    const QString device = resolvedPath(port.devicePath);
    return {m_comNumbers.value(device, outsideComMap), device};
}

} // namespace qm240lx
