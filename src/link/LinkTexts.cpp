#include "link/LinkTexts.h"

namespace qm240lx::text {

QString portFailure(const CommControl& comm)
{
    const PortError error = comm.lastError();
    if (error.isError() && !error.message.isEmpty())
        return QStringLiteral("COM%1 is not usable: %2").arg(comm.commPort()).arg(error.message);
    return QStringLiteral("COM%1 is not open.").arg(comm.commPort());
}

} // namespace qm240lx::text
