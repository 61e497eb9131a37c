#include "protocol/SaveToFlash.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

Answer exchangeSave(Exchange& exchange, const ShowText& show)
{
    exchange.discardStaleInput();
    if (!exchange.writeByte(opcode::saveToFlash))
        return Answer::PortFailed;
    return exchange.awaitAnswer(saveLimitMs, [&] { show(text::savingToFlash); });
}

} // namespace

Answer saveToFlash(Exchange& exchange, const ShowText& show)
{
    Exchange::Command command(exchange);
    const Answer end = exchangeSave(exchange, show);
    switch (end) {
    case Answer::Acknowledged:
        show(text::savedToFlash);
        break;
    case Answer::Other:
    case Answer::Silence:
        show(text::flashNotUpdated);
        break;
    case Answer::PortFailed:
        show(text::flashNotUpdated + text::crlf + text::portFailure(exchange.comm()));
        break;
    case Answer::Aborted:
        break;
    }
    return end;
}

} // namespace qm240lx
