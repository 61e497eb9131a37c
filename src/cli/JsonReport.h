#pragma once

#include "failure/FailureKind.h"
#include "link/PortChoice.h"
#include "settings/ConfigBytes.h"

#include <QJsonObject>
#include <QString>

namespace qm240lx {

// The JSON objects the tool prints with --json.
class JsonReport
{
public:
    // {"port": 3, "device": "/dev/ttyUSB2"}; "port" is null for a port given
    // by its path.
    static QJsonObject port(const PortChoice& choice, const QString& device);

    // The port, the three bytes as integers (h_byte, d_byte, p_byte) and the
    // settings they stand for, under their keys in settingTable.
    static QJsonObject configuration(const PortChoice& choice, const QString& device,
                                     const ConfigBytes& bytes);

    // One found port of a scan: {"port": 3, "device": "/dev/ttyUSB2"}.
    static QJsonObject foundPort(int com, const QString& device);

    // A failed command: {"error": {"kind": "connection_refused", "message": "..."}}.
    static QJsonObject error(FailureKind kind, const QString& message);

    // The kind's stable name, as the reports give it.
    static QString kindName(FailureKind kind);
};

} // namespace qm240lx
