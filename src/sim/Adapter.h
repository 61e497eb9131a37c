#pragma once

#include "sim/Chaos.h"
#include "sim/Configuration.h"
#include "sim/Faults.h"

#include <chrono>
#include <cstdint>
#include <optional>

#include <QByteArray>

namespace qm240lx::sim {

// The QM240LX as the host sees it over the serial line: one-byte opcodes in,
// acknowledgements and configuration bytes out. It keeps the configuration in
// use and the copy in flash, and plays the faults it was given. It does no I/O
// and reads no clock: the caller stamps every received byte and sends each
// reply once it is due.
class Adapter
{
public:
    using Millis = std::chrono::milliseconds;

    struct Reply
    {
        Millis due{0};
        QByteArray bytes;
    };

    // What one received byte led to.
    struct Outcome
    {
        std::optional<Reply> reply;
        bool flashWritten = false; // the configuration was copied to flash
        bool unplugged = false;    // the adapter has just left the line
    };

    // Powering on loads the configuration in use from flash.
    explicit Adapter(Configuration flash, Faults faults = {});

    Outcome receive(std::uint8_t byte, Millis now);

    const Configuration& configuration() const { return m_configuration; }
    const Configuration& flash() const { return m_flash; }
    bool isUnplugged() const { return m_unplugged; }

private:
    Outcome unplug();
    Outcome runCommand(std::uint8_t opcode, std::uint8_t value, Millis now);
    Chaos::Choice drawChaos(std::uint8_t opcode, std::uint8_t value);
    QByteArray apply(std::uint8_t opcode, std::uint8_t value);
    QByteArray readBack() const;
    bool takeRejection(std::uint8_t opcode);
    Reply schedule(std::uint8_t opcode, QByteArray answer, Millis now, Millis chaosDelay);

    Faults m_faults;
    std::optional<Chaos> m_chaos;
    Configuration m_configuration;
    Configuration m_flash;
    std::optional<std::uint8_t> m_awaitingValueFor;
    int m_bytesReceived = 0;
    int m_rejectionsLeft = 0;
    Millis m_lastDue{0};
    bool m_unplugged = false;
};

} // namespace qm240lx::sim
