#include "link/PortChoice.h"

#include "link/NetAddress.h"

namespace qm240lx {

std::optional<PortChoice> PortChoice::parse(const QString& text)
{
    if (NetAddress::isNetworkPort(text))
        return NetAddress::parse(text) ? std::optional(PortChoice{std::nullopt, text})
                                       : std::nullopt;
    if (text.contains(QLatin1Char('/')))
        return PortChoice{std::nullopt, text};
    if (const std::optional<int> com = parseComNumber(text))
        return comPort(*com);
    return std::nullopt;
}

const char* PortChoice::expectedFor(const QString& text)
{
    return NetAddress::isNetworkPort(text) ? NetAddress::accepted : accepted;
}

std::optional<int> PortChoice::mappedCom(const EnvLookup& env) const
{
    if (com)
        return com;
    return comNumberOf(devicePath, env);
}

QtSerialComm::DeviceResolver PortChoice::resolver() const
{
    if (com)
        return [](int number) { return comDevice(number); };
    return [path = devicePath](int) { return std::optional<QString>(path); };
}

QString PortChoice::name() const
{
    return com ? QStringLiteral("COM%1").arg(*com) : devicePath;
}

} // namespace qm240lx
