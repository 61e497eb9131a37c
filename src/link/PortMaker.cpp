#include "link/PortMaker.h"

#include "link/LayerTable.h"
#include "link/SerialDevice.h"
#include "naming/NetAddress.h"

#include <utility>

namespace qm240lx {

PortMaker::PortMaker(PortOptions options, Alarm& alarm, TickSource tick)
    : m_options(std::move(options)), m_alarm(alarm), m_tick(std::move(tick))
{}

std::unique_ptr<PortStack> PortMaker::make(const QString& device, std::optional<int> com) const
{
    if (!NetAddress::isNetworkPort(device)) {
        return std::make_unique<PortStack>(
            std::make_unique<SerialDevice>(device, com, m_options.isConsole,
                                           m_options.lockDirectories),
            m_alarm, m_tick);
    }
    const std::optional<NetAddress> address = NetAddress::parse(device);
    if (!address || !LayerTable::accepts(*address)) {
        return std::make_unique<PortStack>(
            PortError{PortError::Kind::BadAddress, device,
                      QStringLiteral("%1 is no network port: expected %2.")
                          .arg(device, QLatin1String(LayerTable::accepted))});
    }
    return std::make_unique<PortStack>(LayerTable::build(*address, m_options), m_alarm, m_tick);
}

std::unique_ptr<PortStack> PortMaker::makeForCom(int com, const EnvLookup& env) const
{
    if (const std::optional<QString> device = comDevice(com, env))
        return make(*device, com);
    return std::make_unique<PortStack>(
        PortError{PortError::Kind::NoComDevice, QString(),
                  QStringLiteral("COM%1 stands for no serial device; set %2 to choose one.")
                      .arg(com)
                      .arg(comOverrideVariable(com))});
}

} // namespace qm240lx
