#pragma once

#include <cstdint>

#include <QByteArray>

namespace qm240lx::sim {

// The adapter's three configuration bytes, in the order the read-back sends
// them. The defaults are what a fresh adapter holds: 9600 baud without
// ignores; primary/secondary, one slot, 3 s discovery; IrComm.
struct Configuration
{
    std::uint8_t hByte = 0x03;
    std::uint8_t dByte = 0x92;
    std::uint8_t pByte = 0x00;

    friend bool operator==(const Configuration&, const Configuration&) = default;

    QByteArray toBytes() const
    {
        QByteArray bytes;
        bytes.append(static_cast<char>(hByte));
        bytes.append(static_cast<char>(dByte));
        bytes.append(static_cast<char>(pByte));
        return bytes;
    }
};

} // namespace qm240lx::sim
