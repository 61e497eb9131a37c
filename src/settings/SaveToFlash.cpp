#include "settings/SaveToFlash.h"

#include "link/LinkTexts.h"
#include "link/Opcodes.h"
#include "settings/SettingsTexts.h"

namespace qm240lx {
namespace {

SaveEnd exchangeSave(Exchange& exchange, const ShowText& show)
{
    exchange.discardStaleInput();
    if (!exchange.writeByte(opcode::saveToFlash))
        return SaveEnd::PortFailed;
    switch (exchange.awaitAnswer(saveLimitMs, [&] { show(text::savingToFlash); })) {
    case Answer::Acknowledged:
        return SaveEnd::Saved;
    case Answer::Other:
        return SaveEnd::Rejected;
    case Answer::Silence:
        return SaveEnd::Silence;
    case Answer::Aborted:
        return SaveEnd::Aborted;
    case Answer::PortFailed:
        break;
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
