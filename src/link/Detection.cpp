#include "link/Detection.h"

#include "link/LinkTexts.h"
#include "link/Opcodes.h"

namespace qm240lx {
namespace {

Detection judge(Answer answer)
{
    switch (answer) {
    case Answer::Acknowledged:
        return Detection::Ready;
    case Answer::Other:
        return Detection::WrongAnswer;
    case Answer::Silence:
        return Detection::Silence;
    case Answer::Aborted:
        return Detection::Aborted;
    case Answer::PortFailed:
        break;
    }
    return Detection::PortFailed;
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
        detection = judge(exchange.awaitAnswer(probeLimitMs, [&] { show(text::searching); }));
    }
    if (detection != Detection::Aborted)
        show(outcomeText(detection, exchange.comm()));
    return detection;
}

} // namespace qm240lx
