#include "app/StartPort.h"

#include "naming/ComMap.h"

#include <QFile>

namespace qm240lx {

std::optional<int> bindStartPort(const std::optional<PortChoice>& port)
{
    if (!port)
        return firstComNumber;
    if (const std::optional<int> mapped = port->mappedCom(processEnvironment))
        return mapped;
    const std::optional<int> free = firstFreeComNumber(processEnvironment);
    if (free)
        qputenv(comOverrideVariable(*free).toLatin1().constData(),
                QFile::encodeName(port->devicePath));
    return free;
}

} // namespace qm240lx
