#include "protocol/Texts.h"

#include "settings/SettingTable.h"

namespace qm240lx::text {

QString portFailure(const CommControl& comm)
{
    const PortError error = comm.lastError();
    if (error.isError() && !error.message.isEmpty())
        return QStringLiteral("COM%1 is not usable: %2").arg(comm.commPort()).arg(error.message);
    return QStringLiteral("COM%1 is not open.").arg(comm.commPort());
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
