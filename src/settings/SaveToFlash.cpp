#include "settings/SaveToFlash.h"

#include "link/LinkTexts.h"
#include "link/Opcodes.h"
#include "settings/SettingsTexts.h"

namespace qm240lx {
namespace {

SaveEnd judgeReply(Exchange& exchange)
{
    const auto reply = exchange.readReply();
    if (!reply)
        return SaveEnd::PortFailed;
    if (!reply->isEmpty() && static_cast<std::uint8_t>(reply->at(0)) == opcode::ready)
        return SaveEnd::Saved;
    return SaveEnd::Rejected;
}

SaveEnd exchangeSave(Exchange& exchange, const ShowText& show)
{
    exchange.discardStaleInput();
    if (!exchange.writeByte(opcode::saveToFlash))
        return SaveEnd::PortFailed;
    switch (exchange.waitForReply(1, saveLimitMs, [&] { show(text::savingToFlash); })) {
    case WaitEnd::Data:
        return judgeReply(exchange);
    case WaitEnd::Timeout:
        return SaveEnd::Silence;
    case WaitEnd::PortFailed:
        return SaveEnd::PortFailed;
    case WaitEnd::Aborted:
        return SaveEnd::Aborted;
    }
    return SaveEnd::PortFailed;
}

} // namespace

SaveEnd saveToFlash(Exchange& exchange, const ShowText& show)
{
    Exchange::Command command(exchange);
    const SaveEnd end = exchangeSave(exchange, show);
    switch (end) {
    case SaveEnd::Saved:
        show(text::savedToFlash);
        break;
    case SaveEnd::Rejected:
    case SaveEnd::Silence:
        show(text::flashNotUpdated);
        break;
    case SaveEnd::PortFailed:
        show(text::flashNotUpdated + text::crlf + text::portFailure(exchange.comm()));
        break;
    case SaveEnd::Aborted:
        break;
    }
    return end;
}

} // namespace qm240lx
