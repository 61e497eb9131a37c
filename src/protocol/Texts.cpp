#include "protocol/Texts.h"

#include "settings/SettingTable.h"

namespace qm240lx::text {

QString portFailure(const QString& portName, const PortError& error)
{
    if (error.isError() && !error.message.isEmpty())
        return QStringLiteral("%1 is not usable: %2").arg(portName, error.message);
    return QStringLiteral("%1 is not open.").arg(portName);
}

QString portFailure(Exchange& exchange)
{
    return portFailure(exchange.portName(), exchange.port().failure());
}

QString settingCaption(Group group)
{
    return QString::fromLatin1(settingOf(group).frame);
}

QString nothingSelected(Group group)
{
    return QStringLiteral("Nothing sent: choose a setting under \"%1\" first.")
        .arg(settingCaption(group));
}

} // namespace qm240lx::text
