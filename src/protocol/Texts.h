#pragma once

#include "failure/PortError.h"
#include "protocol/Exchange.h"
#include "settings/SettingTable.h"

#include <QString>

// Every text the commands show, as the adapter's users know them.
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
// `portName` is "COM3", or the path the port was given by.
QString portFailure(const QString& portName, const PortError& error);
// The same for the exchange's port.
QString portFailure(Exchange& exchange);

// Why a command wrote nothing, and why a read-back shows nothing.
inline const QString keepsSending =
    QStringLiteral("QM240LX keeps sending: nothing was written to it.");
inline const QString readBackSuspect =
    QStringLiteral("QM240LX sent more than its configuration, twice: nothing is shown.");

inline const QString configuring = QStringLiteral("Configuring the Settings....\r\n");
inline const QString updating = QStringLiteral("Updata new setting......");
inline const QString hByteAccepted = QStringLiteral("H-Byte is successfully set");
inline const QString dByteAccepted = QStringLiteral("D-Byte is Successfully Set");
inline const QString pByteAccepted = QStringLiteral("P-Byte is Successfully Set");
inline const QString rejected = QStringLiteral("Internal setting not change, please try again.");
inline const QString heldUntilPowerOff =
    QStringLiteral("Success to change QM240LX setting.\r\n"
                   "This setting will be used until QM240LX POWER OFF.");
inline const QString notConfirmed =
    QStringLiteral("QM240LX did not answer: the setting is not confirmed.");
inline const QString acknowledgementNotConfirmed =
    QStringLiteral("QM240LX sent more than its acknowledgement: the setting is not confirmed.");
inline const QString contradicted =
    QStringLiteral("QM240LX acknowledged, but reports another setting: please try again.");
inline const QString savingToFlash = QStringLiteral("Uploading......");
inline const QString savedToFlash = QStringLiteral("Configuration Data is updated in Flash");
inline const QString flashNotUpdated = QStringLiteral("Unable to update the Flash");

// The frame caption a group sits in, without its access key.
QString settingCaption(Group group);

// Why an upload sent nothing: the group it needs has no selection yet.
QString nothingSelected(Group group);

} // namespace qm240lx::text
