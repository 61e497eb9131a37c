#pragma once

#include "settings/ConfigBytes.h"

#include <cstdint>

#include <QString>
#include <QStringList>

namespace qm240lx {

// The tool's output for people.
class TextReport
{
public:
    // One line per setting, then the raw bytes:
    //     Host baud rate:    9600 bps
    //     ...
    //     Raw bytes:         H-Byte 0x03  D-Byte 0x92  P-Byte 0x00
    static QStringList configuration(const QString& port, const ConfigBytes& bytes);

    // The configuration on one line, under the names profiles use:
    // "baud 9600, ignore_cts no, ..., protocol ircomm; H-Byte 0x03 D-Byte 0x92 P-Byte 0x00"
    static QString settings(const ConfigBytes& bytes);

    // "0x06"
    static QString hex(std::uint8_t byte);
};

} // namespace qm240lx
