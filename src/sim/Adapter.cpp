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
    : faults_(std::move(faults)), configuration_(flash), flash_(flash),
      rejectionsLeft_(faults_.rejectCount)
{
    if (faults_.chaos)
        chaos_.emplace(*faults_.chaos);
}

Adapter::Outcome Adapter::receive(std::uint8_t byte, Millis now)
{
    if (unplugged_)
        return {};
    ++bytesReceived_;
    if (faults_.unplugAfter && bytesReceived_ >= *faults_.unplugAfter)
        return unplug();
    if (awaitingValueFor_) {
        const std::uint8_t opcode = *std::exchange(awaitingValueFor_, std::nullopt);
        return runCommand(opcode, byte, now);
    }
    if (opcode::takesValue(byte)) {
        awaitingValueFor_ = byte;
        return {};
    }
    if (!opcode::isKnown(byte))
        return {};
    return runCommand(byte, 0, now);
}

Adapter::Outcome Adapter::unplug()
{
    unplugged_ = true;
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
                        : rejected ? byteArray(faults_.rejectByte)
                                   : apply(opcode, value);
    outcome.flashWritten = !rejected && opcode == opcode::SaveToFlash;
    if (faults_.silentOps.test(opcode) || chaos.kind == Chaos::Kind::Silent)
        return outcome;
    if (faults_.extraOps.test(opcode))
        answer.append(faults_.extraCount, static_cast<char>(faults_.extraByte));
    outcome.reply = schedule(opcode, Chaos::reshape(chaos, std::move(answer)), now, chaos.delay);
    return outcome;
}

Chaos::Choice Adapter::drawChaos(std::uint8_t opcode, std::uint8_t value)
{
    return chaos_ ? chaos_->next(opcode, value) : Chaos::Choice{};
}

QByteArray Adapter::apply(std::uint8_t opcode, std::uint8_t value)
{
    switch (opcode) {
    case opcode::Probe:
        return byteArray(faults_.probeAnswer.value_or(opcode::Acknowledge));
    case opcode::ReadConfiguration:
        return configuration_.toBytes().first(faults_.shortReadback ? 2 : 3);
    case opcode::SetHByte:
        configuration_.hByte = value;
        break;
    case opcode::SetDByte:
        configuration_.dByte = value;
        break;
    case opcode::SetPByte:
        configuration_.pByte = value;
        break;
    case opcode::SaveToFlash:
        flash_ = configuration_;
        break;
    }
    return byteArray(opcode::Acknowledge);
}

bool Adapter::takeRejection(std::uint8_t opcode)
{
    if (rejectionsLeft_ <= 0 || !faults_.rejectOps.test(opcode))
        return false;
    --rejectionsLeft_;
    return true;
}

// Answers leave in the order their commands came, so a delayed answer holds
// back the ones behind it.
Adapter::Reply Adapter::schedule(std::uint8_t opcode, QByteArray answer, Millis now,
                                 Millis chaosDelay)
{
    const Millis delay = (faults_.delayOps.test(opcode) ? faults_.delay : Millis{0}) + chaosDelay;
    lastDue_ = std::max(now + delay, lastDue_);
    return {lastDue_, std::move(answer)};
}

} // namespace qm240lx::sim
