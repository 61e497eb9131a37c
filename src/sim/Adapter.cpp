#include "sim/Adapter.h"

#include <algorithm>
#include <utility>

namespace qm240lx::sim {

namespace {

QByteArray byteArray(std::uint8_t byte)
{
    return QByteArray(1, static_cast<char>(byte));
}

} // namespace

Adapter::Adapter(Configuration flash, Faults faults)
    : m_faults(std::move(faults)), m_configuration(flash), m_flash(flash),
      m_rejectionsLeft(m_faults.rejectCount)
{
    if (m_faults.chaos)
        m_chaos.emplace(*m_faults.chaos);
}

Adapter::Outcome Adapter::receive(std::uint8_t byte, Millis now)
{
    if (m_unplugged)
        return {};
    ++m_bytesReceived;
    if (m_faults.unplugAfter && m_bytesReceived >= *m_faults.unplugAfter)
        return unplug();
    if (m_awaitingValueFor) {
        const std::uint8_t opcode = *std::exchange(m_awaitingValueFor, std::nullopt);
        return runCommand(opcode, byte, now);
    }
    if (opcode::takesValue(byte)) {
        m_awaitingValueFor = byte;
        return {};
    }
    if (!opcode::isOpcode(byte))
        return {};
    return runCommand(byte, 0, now);
}

Adapter::Outcome Adapter::unplug()
{
    m_unplugged = true;
    Outcome outcome;
    outcome.unplugged = true;
    return outcome;
}

Adapter::Outcome Adapter::runCommand(std::uint8_t opcode, std::uint8_t value, Millis now)
{
    const Chaos::Choice chaos = drawChaos(opcode, value);
    if (chaos.kind == Chaos::Kind::Unplug)
        return unplug();
    Outcome outcome;
    const bool wrong = chaos.kind == Chaos::Kind::WrongByte;
    const bool rejected = wrong || takeRejection(opcode);
    QByteArray answer = wrong      ? chaos.bytes
                        : rejected ? byteArray(m_faults.rejectByte)
                                   : apply(opcode, value);
    outcome.flashWritten = !rejected && opcode == opcode::saveToFlash;
    if (m_faults.silentOps.test(opcode) || chaos.kind == Chaos::Kind::Silent)
        return outcome;
    if (m_faults.extraOps.test(opcode))
        for (int index = 0; index < m_faults.extraCount; ++index)
            answer.append(m_faults.extraBytes.at(index % m_faults.extraBytes.size()));
    outcome.reply = schedule(opcode, Chaos::reshape(chaos, std::move(answer)), now, chaos.delay);
    return outcome;
}

Chaos::Choice Adapter::drawChaos(std::uint8_t opcode, std::uint8_t value)
{
    return m_chaos ? m_chaos->next(opcode, value) : Chaos::Choice{};
}

QByteArray Adapter::apply(std::uint8_t opcode, std::uint8_t value)
{
    switch (opcode) {
    case opcode::probe:
        return byteArray(m_faults.probeAnswer.value_or(opcode::ready));
    case opcode::readConfiguration:
        return readBack();
    case opcode::setHByte:
        m_configuration.hByte = value;
        break;
    case opcode::setDByte:
        m_configuration.dByte = value;
        break;
    case opcode::setPByte:
        m_configuration.pByte = value;
        break;
    case opcode::saveToFlash:
        m_flash = m_configuration;
        break;
    }
    return byteArray(opcode::ready);
}

QByteArray Adapter::readBack() const
{
    QByteArray bytes = m_configuration.toBytes().first(m_faults.shortReadback ? 2 : 3);
    for (char& byte : bytes)
        byte = static_cast<char>(static_cast<std::uint8_t>(byte) | m_faults.strayBits);
    return bytes;
}

bool Adapter::takeRejection(std::uint8_t opcode)
{
    if (m_rejectionsLeft <= 0 || !m_faults.rejectOps.test(opcode))
        return false;
    --m_rejectionsLeft;
    return true;
}

// Answers leave in the order their commands came, so a delayed answer holds
// back the ones behind it.
Adapter::Reply Adapter::schedule(std::uint8_t opcode, QByteArray answer, Millis now,
                                 Millis chaosDelay)
{
    const Millis delay = (m_faults.delayOps.test(opcode) ? m_faults.delay : Millis{0}) + chaosDelay;
    m_lastDue = std::max(now + delay, m_lastDue);
    return {m_lastDue, std::move(answer)};
}

} // namespace qm240lx::sim
