#pragma once

#include "link/CommControl.h"

#include <QString>

namespace qm240lx::text {

inline const QString crlf = QStringLiteral("\r\n");

inline const QString waitingForConnection = QStringLiteral("Waiting for Connection...");
inline const QString searching = QStringLiteral("Searching......");
inline const QString ready = QStringLiteral("Velorin QM240LX READY.");
inline const QString silentNotDetected = QStringLiteral("QM240LX NOT DETECT.");
inline const QString notDetected = QStringLiteral("Velorin QM240LX NOT DETECT.");
inline const QString readBackTimeout = QStringLiteral("ERROR:TIME OUT!");
// The start port, COM1 unless the command line names another.
inline QString cannotOpenStartPort(int com)
{
    return QStringLiteral("Cannot open COM%1, please try another port.").arg(com);
}
inline const QString cannotOpenPort =
    QStringLiteral("Can not open COM port, please try another port.");

// One line on why the port stopped working, for the result box.
QString portFailure(const CommControl& comm);

} // namespace qm240lx::text
