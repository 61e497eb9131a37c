#pragma once

#include "settings/Group.h"

#include <QString>

namespace qm240lx::text {

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
