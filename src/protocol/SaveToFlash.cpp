#include "protocol/SaveToFlash.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

Task<Answer> exchangeSave(Exchange& exchange, const ShowText& show)
{
    const LineQuiet quiet = co_await exchange.quietLine(saveLimitMs);
    if (quiet != LineQuiet::Quiet || !exchange.writeByte(opcode::saveToFlash))
        co_return answerBefore(quiet);
    co_return co_await exchange.awaitAnswer(saveLimitMs, [&] { show(text::savingToFlash); });
}

} // namespace

Task<Answer> saveToFlash(Exchange& exchange, ShowText show)
{
    const Exchange::Command command(exchange);
    const Answer end = co_await exchangeSave(exchange, show);
    switch (end) {
    case Answer::Acknowledged:
        show(text::savedToFlash);
        break;
    case Answer::Other:
    case Answer::Silence:
        show(text::flashNotUpdated);
        break;
    case Answer::KeepsSending:
        show(text::flashNotUpdated + text::crlf + text::keepsSending);
        break;
    case Answer::PortFailed:
        show(text::flashNotUpdated + text::crlf + text::portFailure(exchange));
        break;
    case Answer::Aborted:
        break;
    }
    co_return end;
}

} // namespace qm240lx
