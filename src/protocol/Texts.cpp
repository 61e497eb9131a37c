#include "protocol/Texts.h"

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
    switch (group) {
    case Group::Hspeed:
        return QStringLiteral("RS-232 Baudrate (bps)");
    case Group::CCTRL:
        return QStringLiteral("Ignore CTS");
    case Group::FCTRL:
        return QStringLiteral("Ignore DSR");
    case Group::OPT_Mode:
        return QStringLiteral("Mode");
    case Group::Opt_Dis:
        return QStringLiteral("Discovery Slot");
    case Group::OPT_DTime:
        return QStringLiteral("Discovery Time(Sec)");
    case Group::Opt_PP:
        return QStringLiteral("Primary Protocol");
    }
    return {};
}

QString nothingSelected(Group group)
{
    return QStringLiteral("Nothing sent: choose a setting under \"%1\" first.")
        .arg(settingCaption(group));
}

} // namespace qm240lx::text
