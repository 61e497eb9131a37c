#include "protocol/ReadBack.h"

#include "protocol/Opcodes.h"
#include "protocol/Texts.h"

namespace qm240lx {
namespace {

ReadBack readReply(Exchange& exchange)
{
    const auto reply = exchange.readReply();
    if (!reply || reply->size() < 3)
        return {ReadBack::End::PortFailed, std::nullopt};
    const auto byte = [&](int position) { return static_cast<std::uint8_t>(reply->at(position)); };
    return {ReadBack::End::Read, ConfigBytes{byte(0), byte(1), byte(2)}};
}

} // namespace

Task<ReadBack> readConfiguration(Exchange& exchange, ShowText show)
{
    const Exchange::Command command(exchange);
    co_await exchange.discardStaleInput();
    if (exchange.aborted())
        co_return ReadBack{ReadBack::End::Aborted, std::nullopt};
    if (!exchange.writeByte(opcode::readConfiguration)) {
        show(text::portFailure(exchange));
        co_return ReadBack{ReadBack::End::PortFailed, std::nullopt};
    }
    ReadBack result;
    const WaitEnd end = co_await exchange.waitForReply(3, readBackLimitMs);
    switch (end) {
    case WaitEnd::Data:
        result = readReply(exchange);
        break;
    case WaitEnd::Timeout:
        show(text::readBackTimeout);
        co_return ReadBack{ReadBack::End::Timeout, std::nullopt};
    case WaitEnd::PortFailed:
        break;
    case WaitEnd::Aborted:
        co_return ReadBack{ReadBack::End::Aborted, std::nullopt};
    }
    if (result.end == ReadBack::End::PortFailed)
        show(text::portFailure(exchange));
    co_return result;
}

} // namespace qm240lx
