#include "naming/PresentPorts.h"

#include <QStringList>

namespace qm240lx {

QString presentPortsLine(const EnvLookup& env, const DeviceExists& exists)
{
    QStringList ports;
    for (int com = firstComNumber; com <= lastComNumber; ++com) {
        const std::optional<QString> device = comDevice(com, env);
        if (device && exists(*device))
            ports.append(QStringLiteral("COM%1 (%2)").arg(com).arg(*device));
    }
    if (ports.isEmpty())
        return QStringLiteral("No serial port is present.");
    return QStringLiteral("Serial ports here: ") + ports.join(QStringLiteral(", "));
}

QString presentPortsLine()
{
    return presentPortsLine(processEnvironment, devicePresent);
}

} // namespace qm240lx
