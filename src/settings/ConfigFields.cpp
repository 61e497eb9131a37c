#include "settings/ConfigFields.h"

#include <algorithm>
#include <iterator>

namespace qm240lx {
namespace {

constexpr std::array<const char*, 2> modeNames{"primary-secondary", "secondary-only"};
constexpr std::array<const char*, 2> modeCaptions{"Primary / Secondary", "Secondary only"};
constexpr std::array<const char*, 4> protocolNames{"ircomm", "irlpt", "obex", "irsocket"};
constexpr std::array<const char*, 4> protocolCaptions{"IrComm 9-wire", "IrLPT", "OBEX Transport",
                                                      "IrSocket"};

// The element each group selects for `bytes`, in the order of decodeConfiguration.
int selected(const std::array<Selection, 7>& selections, Group group)
{
    const auto found = std::find_if(selections.begin(), selections.end(),
                                    [group](const Selection& s) { return s.first == group; });
    return found->second;
}

template <std::size_t N>
std::optional<int> indexOfName(const std::array<const char*, N>& names, const QString& name)
{
    for (std::size_t index = 0; index < N; ++index) {
        if (name.compare(QLatin1String(names[index]), Qt::CaseInsensitive) == 0)
            return static_cast<int>(index);
    }
    return std::nullopt;
}

} // namespace

ConfigFields ConfigFields::decode(const ConfigBytes& bytes)
{
    const std::array<Selection, 7> selections = decodeConfiguration(bytes);
    ConfigFields fields;
    fields.baudRate = baudRates[selected(selections, Group::Hspeed)];
    fields.ignoreCts = selected(selections, Group::CCTRL) == 0;
    fields.ignoreDsr = selected(selections, Group::FCTRL) == 0;
    fields.mode = static_cast<DiscoveryMode>(selected(selections, Group::OPT_Mode));
    fields.discoverySlots = selected(selections, Group::Opt_Dis) == 0 ? 1 : 6;
    fields.discoveryTimeS = selected(selections, Group::OPT_DTime) + shortestDiscoveryTimeS;
    fields.protocol = static_cast<PrimaryProtocol>(selected(selections, Group::Opt_PP));
    return fields;
}

std::optional<int> baudCode(int baudRate)
{
    const auto found = std::find(baudRates.begin(), baudRates.end(), baudRate);
    if (found == baudRates.end())
        return std::nullopt;
    return static_cast<int>(std::distance(baudRates.begin(), found));
}

QString modeName(DiscoveryMode mode)
{
    return QLatin1String(modeNames[static_cast<std::size_t>(mode)]);
}

std::optional<DiscoveryMode> parseModeName(const QString& name)
{
    const std::optional<int> index = indexOfName(modeNames, name);
    if (!index)
        return std::nullopt;
    return static_cast<DiscoveryMode>(*index);
}

QString modeCaption(DiscoveryMode mode)
{
    return QLatin1String(modeCaptions[static_cast<std::size_t>(mode)]);
}

QString protocolName(PrimaryProtocol protocol)
{
    return QLatin1String(protocolNames[static_cast<std::size_t>(protocol)]);
}

std::optional<PrimaryProtocol> parseProtocolName(const QString& name)
{
    const std::optional<int> index = indexOfName(protocolNames, name);
    if (!index)
        return std::nullopt;
    return static_cast<PrimaryProtocol>(*index);
}

QString protocolCaption(PrimaryProtocol protocol)
{
    return QLatin1String(protocolCaptions[static_cast<std::size_t>(protocol)]);
}

} // namespace qm240lx
