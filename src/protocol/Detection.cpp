#include "protocol/Detection.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

QString outcomeText(Answer detection, const CommControl& comm)
{
    switch (detection) {
    case Answer::Acknowledged:
        return text::ready;
    case Answer::Silence:
        return text::silentNotDetected;
    case Answer::Other:
        return text::notDetected;
    case Answer::PortFailed:
        return text::notDetected + text::crlf + text::portFailure(comm);
    case Answer::Aborted:
        break;
    }
    return {};
}

} // namespace

Answer detectAdapter(Exchange& exchange, const ShowText& show)
{
    Exchange::Command command(exchange);
    exchange.settle(probeSettleMs);
    exchange.discardStaleInput();
    Answer detection = Answer::PortFailed;
    if (exchange.writeByte(opcode::probe)) {
        detection = exchange.awaitAnswer(probeLimitMs, [&] { show(text::searching); });
    }
    if (detection != Answer::Aborted)
        show(outcomeText(detection, exchange.comm()));
    return detection;
}

} // namespace qm240lx
