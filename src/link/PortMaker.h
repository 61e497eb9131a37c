#pragma once

#include "async/Alarm.h"
#include "async/Tick.h"
#include "link/PortOptions.h"
#include "link/PortStack.h"
#include "naming/ComMap.h"

#include <memory>
#include <optional>

#include <QString>

namespace qm240lx {

// Makes the port a device path or a network address stands for, with the
// port's own options. A name it cannot open makes a port whose opening fails
// and says why.
class PortMaker
{
public:
    PortMaker(PortOptions options, Alarm& alarm, TickSource tick);

    // `com`, when the device was named by its COM number, names it in messages.
    std::unique_ptr<PortStack> make(const QString& device, std::optional<int> com) const;

    // The port COM `com` stands for in the COM map of `env`.
    std::unique_ptr<PortStack> makeForCom(int com, const EnvLookup& env) const;

private:
    PortOptions m_options;
    Alarm& m_alarm;
    TickSource m_tick;
};

} // namespace qm240lx
