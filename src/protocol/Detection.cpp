#include "protocol/Detection.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

QString outcomeText(Answer detection, Exchange& exchange)
{
    switch (detection) {
    case Answer::Acknowledged:
        return text::ready;
    case Answer::Silence:
        return text::silentNotDetected;
    case Answer::Other:
        return text::notDetected;
    case Answer::KeepsSending:
        return text::notDetected + text::crlf + text::keepsSending;
    case Answer::PortFailed:
        return text::notDetected + text::crlf + text::portFailure(exchange);
    case Answer::Aborted:
        break;
    }
    return {};
}

} // namespace

Task<Answer> detectAdapter(Exchange& exchange, ShowText show)
{
    const Exchange::Command command(exchange);
    co_await exchange.settle(probeSettleMs);
    const LineQuiet quiet = co_await exchange.quietLine(probeLimitMs);
    Answer detection = answerBefore(quiet);
    if (quiet == LineQuiet::Quiet && exchange.writeByte(opcode::probe))
        detection = co_await exchange.awaitAnswer(probeLimitMs, [&] { show(text::searching); });
    if (detection != Answer::Aborted)
        show(outcomeText(detection, exchange));
    co_return detection;
}

} // namespace qm240lx
