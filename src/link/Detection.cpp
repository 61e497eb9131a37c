#include "link/Detection.h"

#include "link/LinkTexts.h"
#include "link/Opcodes.h"

namespace qm240lx {
namespace {

Detection judge(Exchange& exchange, WaitEnd end)
{
    switch (end) {
    case WaitEnd::Timeout:
        return Detection::Silence;
    case WaitEnd::PortFailed:
        return Detection::PortFailed;
    case WaitEnd::Aborted:
        return Detection::Aborted;
    case WaitEnd::Data:
        break;
    }
    const auto reply = exchange.readReply();
    if (!reply)
        return Detection::PortFailed;
    if (!reply->isEmpty() && static_cast<std::uint8_t>(reply->at(0)) == opcode::ready)
        return Detection::Ready;
    return Detection::WrongAnswer;
}

QString outcomeText(Detection detection, const CommControl& comm)
{
    switch (detection) {
    case Detection::Ready:
        return text::ready;
    case Detection::Silence:
        return text::silentNotDetected;
    case Detection::WrongAnswer:
        return text::notDetected;
    case Detection::PortFailed:
        return text::notDetected + text::crlf + text::portFailure(comm);
    case Detection::Aborted:
        break;
    }
    return {};
}

} // namespace

Detection detectAdapter(Exchange& exchange, const ShowText& show)
{
    Exchange::Command command(exchange);
    exchange.settle(probeSettleMs);
    exchange.discardStaleInput();
    Detection detection = Detection::PortFailed;
    if (exchange.writeByte(opcode::probe)) {
        const WaitEnd end = exchange.waitForReply(1, probeLimitMs, [&] { show(text::searching); });
        detection = judge(exchange, end);
    }
    if (detection != Detection::Aborted)
        show(outcomeText(detection, exchange.comm()));
    return detection;
}

} // namespace qm240lx
