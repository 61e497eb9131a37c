#include "link/PortChoice.h"

#include "link/LayerTable.h"
#include "naming/NetAddress.h"

namespace qm240lx {

std::optional<PortChoice> PortChoice::parse(const QString& text)
{
    if (NetAddress::isNetworkPort(text)) {
        const std::optional<NetAddress> address = NetAddress::parse(text);
        if (!address || !LayerTable::accepts(*address))
            return std::nullopt;
        return PortChoice{std::nullopt, text};
    }
    if (text.contains(QLatin1Char('/')))
        return PortChoice{std::nullopt, text};
    if (const std::optional<int> com = parseComNumber(text))
        return comPort(*com);
    return std::nullopt;
}

const char* PortChoice::expectedFor(const QString& text)
{
    return NetAddress::isNetworkPort(text) ? LayerTable::accepted : accepted;
}

std::optional<int> PortChoice::mappedCom(const EnvLookup& env) const
{
    if (com)
        return com;
    return comNumberOf(devicePath, env);
}

std::optional<QString> PortChoice::device(const EnvLookup& env) const
{
    if (com)
        return comDevice(*com, env);
    return devicePath;
}

QString PortChoice::name() const
{
    return com ? comName(*com) : devicePath;
}

} // namespace qm240lx
